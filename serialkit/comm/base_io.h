#pragma once
// The base of every I/O component: notify list, log and data processor links, the system
// handle with the open and close skeleton, received-data dispatch, the keep-connection timer
// and the terminal binding.
#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "serialkit/comm/comm_types.h"
#include "serialkit/comm/controls.h"
#include "serialkit/comm/device_list.h"
#include "serialkit/comm/keep_connection_timer.h"
#include "serialkit/comm/link_use_guard.h"
#include "serialkit/comm/notify_list.h"
#include "serialkit/comm/shared_event.h"
#include "serialkit/comm/terminal_binding.h"
#include "serialkit/core/bytes.h"
#include "serialkit/core/component.h"
#include "serialkit/core/fatal_error.h"
#include "serialkit/discovery/device.h"
#include "serialkit/log/custom_log_file.h"
#include "serialkit/platform/application.h"
#include "serialkit/platform/messages.h"

namespace sk {

namespace platform {
class SerialDevice;
class TThread;
struct TDeviceChangeMessage;  // serialkit/platform/device_change.h
}  // namespace platform
class TskDataProcessorLink;
class TskThreadIO;

// The open device. Null is the closed state (the invalid handle). Shared, so that a thread
// still inside a call on a device that another thread has just closed sees that call fail
// instead of touching a released object.
using THandle = std::shared_ptr<platform::SerialDevice>;

class TskBaseIO : public TComponent {
 public:
  explicit TskBaseIO(TComponent* AOwner = nullptr,
                     platform::TApplication& App = platform::Application());
  ~TskBaseIO() override;
  std::string ClassName() const override { return "TskBaseIO"; }

  // --- Open state ------------------------------------------------------------------------
  // While loading or designing the recorded value; otherwise IsOpened.
  bool Active() const;
  void SetActive(bool Value);
  virtual bool IsOpened() const;
  THandle Handle() const;

  // --- Notify list: 1 closed, 2 opened, 3 selection or device list changed ---------------
  // Adds NotifyEvent unless the same handler of the same object is already there.
  virtual void NotifyAdd(const TskNotifyEvent& NotifyEvent);
  virtual void NotifyDelete(const TskNotifyEvent& NotifyEvent);

  // --- Links (never ownership; dropped when the other side is destroyed) -----------------
  TskDataProcessorLink* DataProcessor() const { return fDataProcessor.load(); }
  void SetDataProcessor(TskDataProcessorLink* Value);
  TskCustomLogFile* Log() const { return fLog.load(); }
  void SetLog(TskCustomLogFile* Value);

  // --- Events (each says the thread that raises it) ----------------------------------------
  // In the thread whose call failed: for an open, the thread that opens (the caller of
  // SetActive, or the thread of the keep-connection timer when it reopens).
  TOnFatalErrorEvent OnFatalError() const { return fOnFatalError.Get(); }
  void SetOnFatalError(TOnFatalErrorEvent Value) { fOnFatalError.Set(std::move(Value)); }
  // In the thread that closes: the caller of SetActive(false) or of an open that closes first,
  // or the port's worker that found the connection lost.
  TNotifyEvent OnClose() const { return fOnClose.Get(); }
  void SetOnClose(TNotifyEvent Value) { fOnClose.Set(std::move(Value)); }
  // Raised right after a valid handle was obtained, in the thread that opens.
  TNotifyEvent OnOpen() const { return fOnOpen.Get(); }
  void SetOnOpen(TNotifyEvent Value) { fOnOpen.Set(std::move(Value)); }
  // Each received chunk: in the port's message worker, or with UseMainThread in the main thread.
  TOnReceived OnAfterReceive() const { return fOnReceived.Get(); }
  void SetOnAfterReceive(TOnReceived Value) { fOnReceived.Set(std::move(Value)); }

  // While true (a port's default), received data and port events are handled in the
  // application's main thread (the thread that created the application object, normally the one
  // running main), and only while that thread serves its messages: TApplication::RunUntil or
  // ProcessMessages, or a GUI's event loop. A console program that opens a port and then just
  // waits receives nothing. False: they are handled in the port's message worker, concurrently
  // with the main thread, and the handlers must guard what they share with it.
  bool UseMainThread() const { return fUseMainThread.load(); }
  void SetUseMainThread(bool Value) { fUseMainThread.store(Value); }
  bool KeepConnection() const { return fKeepConnection.load(); }
  void SetKeepConnection(bool Value) { fKeepConnection.store(Value); }

  // --- Terminal binding -------------------------------------------------------------------
  TskTerminalControl* Terminal() const { return terminalBinding_.Terminal(); }
  void SetTerminal(TskTerminalControl* Value);
  TTerminalUsage TerminalUsage() const { return terminalBinding_.Usage(); }
  void SetTerminalUsage(TTerminalUsage Value) { terminalBinding_.SetUsage(Value); }
  bool TerminalEcho() const { return terminalBinding_.Echo(); }
  void SetTerminalEcho(bool Value) { terminalBinding_.SetEcho(Value); }

  // --- Sending and purging (never throw; nothing on a closed port) -----------------------
  // The byte sent is the low 8 bits of the character.
  virtual void SendChar(char16_t Ch) = 0;
  virtual void SendString(const ByteString& S) = 0;
  // Returns at once; the bytes are taken as they are at the call.
  virtual void SendData(const Byte* Buff, std::uint32_t N) = 0;
  virtual void ClearDeviceInput() = 0;
  virtual void ClearDeviceOutput() = 0;
  virtual void ClearDeviceBuffers() = 0;

  // --- Device list ------------------------------------------------------------------------
  // The list owns its records. A record is valid until the list is cleared (Update,
  // DeviceListClear) or the component is destroyed.
  // The record at Index; null when Index is out of range.
  TskDevice* GetDevice(int Index) const;
  TskDevice* Device(int Index) const { return GetDevice(Index); }
  int DeviceCount() const;
  // The position of that very record (identity, not contents); -1 if absent.
  int IndexOfDevice(const TskDevice* aDevice) const;
  // The position of the first entry whose Data equals Value; -1 if none.
  int IndexOfDeviceData(std::int32_t Value) const;
  // Loads the list first when it is empty; then, with L, replaces L's contents by every
  // entry's display string and record, in list order.
  virtual void GetDeviceList(TskDeviceItems* L = nullptr);
  int DeviceIndex() const { return GetDeviceIndex(); }
  void SetDeviceIndex(int Value) { DoSetDeviceIndex(Value); }
  // Rebuilds the device list and sends ncDeviceChanged; at this class it only notifies.
  virtual void Update();
  // A device-change message: Update for a changed device tree or a port that arrived or
  // left, and true; false for anything else. The message's Result is left alone.
  virtual bool WMDeviceChange(platform::TDeviceChangeMessage& Msg);
  // Appends the devices this component can use; it does not clear first. Nothing here.
  virtual void DeviceListLoad() {}

  // --- Log --------------------------------------------------------------------------------
  // With an attached log: the text with the component's prefix (an empty text writes the
  // log's system information instead).
  void WriteLog(TDetailLevel Level, const std::string& Text) const;
  template <class... T>
  void WriteLogFmt(TDetailLevel Level, const std::string& Format, const T&... Args) const {
    TLinkUse use(*this);
    if (TskCustomLogFile* log = fLog.load()) {
      try {
        log->AddLogFmt(Level, LogPrefix() + Format, TLogArgs{ToLogArg(Args)...});
        LogWritten();
      } catch (...) {
        LogFailed(std::current_exception());
      }
    }
  }

  // Reports a fatal error: OnFatalError, the log line, then an sk::Exception with ErrorMsg
  // unless the handler cleared RaiseException or the component is loading. With flShow the
  // message goes to the application's error report instead of being thrown.
  virtual void DoFatalError(std::uint32_t ErrorCode, std::uint32_t Detail,
                            const std::string& ErrorMsg, bool flShow);

  // The application whose queues, timers and error report this component uses.
  platform::TApplication& App() const { return app_; }

 protected:
  // Held by a thread while it calls into a linked component or a notify subscriber. A
  // component that is destroyed in another thread meanwhile waits in its removal
  // notification until the call has left it, serving synchronized calls.
  class TLinkUse {
   public:
    explicit TLinkUse(const TskBaseIO& Owner) : guard_(Owner.linkUses_) { guard_.Acquire(); }
    ~TLinkUse() { guard_.Release(); }
    TLinkUse(const TLinkUse&) = delete;
    TLinkUse& operator=(const TLinkUse&) = delete;

   private:
    TskLinkUseGuard& guard_;
  };
  // Waits until no other thread holds a link use (the calling thread's own do not count).
  void WaitForLinkUses() const { linkUses_.WaitForOthers(); }

  // An exception that a handler or a step of the component let escape where nobody can be
  // thrown to goes to the application's error report with its own text.
  void ReportException(std::exception_ptr E = std::current_exception()) const noexcept;
  // A log sink that throws (its save failed and nobody cleared RaiseException) has made its
  // own report; the component goes on without the line. Only the first of a run of failures
  // goes to the error report, so a sink that keeps failing does not flood it.
  void LogFailed(std::exception_ptr E) const noexcept;
  void LogWritten() const noexcept { logFailing_.store(false, std::memory_order_relaxed); }

  // --- Open and close skeleton ------------------------------------------------------------
  // The base opens nothing (the result is a null handle).
  virtual THandle DeviceOpen();
  virtual void DeviceClose(const THandle& Handle);
  virtual bool IsReadRequired() const;
  virtual void DoOpen();
  virtual void DoClose();
  // Releases the handle (invalid first), OnClose, notification 1 and, for a lost connection
  // with KeepConnection, the keep-connection timer. Safe against a close racing in another
  // thread: only one of them releases and notifies.
  void InternalClose(bool Orderly) { InternalCloseDevice(Handle(), Orderly); }
  // The same for Device only: nothing when the port no longer holds it. A worker that finds
  // its device lost closes through this, so that a late report never closes a later open.
  virtual void InternalCloseDevice(const THandle& Device, bool Orderly);
  // Makes the handle invalid, releases it and raises OnClose; false if none was held.
  bool ReleaseHandle();
  // The same, only while the handle is Device.
  bool ReleaseHandle(const THandle& Device);

  // --- Worker threads ---------------------------------------------------------------------
  // The generic I/O thread: a TskThreadIO that runs ThreadIOExecute. Worker threads call
  // virtual operations, so a class that overrides any of them stops its threads at the start
  // of its own destructor, while its overrides are still in place.
  virtual void StartThreads();
  virtual void StopThreads();
  // The I/O thread's work; it returns when Thread.Terminated() is set.
  virtual void ThreadIOExecute(TskThreadIO& Thread) { (void)Thread; }
  // Asks Threads to terminate and waits until each has ended, serving synchronized calls
  // meanwhile. A stop that runs in one of them (a handler closing or reopening the port)
  // cannot wait for its own thread: that thread ends when the handler returns and is joined
  // by the next call of this or at destruction.
  void StopWorkers(std::vector<std::unique_ptr<platform::TThread>> Threads);

  virtual void DoNotify(std::int32_t Code);
  // Hands one received chunk to the data processor, the terminal and OnAfterReceive.
  virtual bool DoReceived(const Byte* Buffer, std::uint32_t Len);
  virtual bool DoSendComplete();

  virtual void DoSetDeviceIndex(int Value);
  virtual int GetDeviceIndex() const { return -1; }

  // Appends Record; it takes its position and this component as parent. Result: the position.
  virtual int DeviceAdd(std::unique_ptr<TskDevice> Record);
  // Inserts Record by ascending Data. A record whose Data an entry already has is refused
  // (-1) and destroyed: the list keeps no two entries with equal Data.
  virtual int DeviceInsert(std::unique_ptr<TskDevice> Record);
  // Destroys every record and empties the list.
  virtual void DeviceListClear();

  virtual void KeepConnectionTimer(TObject* Sender);
  virtual void StartKeepConnection();
  virtual void StopKeepConnection();
  bool KeepConnectionTimerEnabled() const;

  virtual void TerminalWrite(const Byte* Buffer, std::int32_t Len);

  void Notification(TComponent* AComponent, TOperation Operation) override;
  void Loaded() override;

  // The handle is replaced atomically; the result is the previous one.
  THandle ExchangeHandle(THandle Value);

  // Set by a class that has a prefix of its own; without one the lines begin with the class
  // name, taken when a line is written (in the base constructor it would be the base's).
  std::optional<std::string> sLogPrefix;
  std::string LogPrefix() const { return sLogPrefix ? *sLogPrefix : ClassName(); }
  std::atomic<bool> fActive{false};
  // Whether the base open and close start and stop the generic I/O thread.
  bool isThreaded = false;
  std::atomic<bool> IsThreadIOTerminated{true};
  TThreadPriority fPriority = tpNormal;
  // A chunk the I/O thread hands to the main thread.
  const Byte* threadData = nullptr;
  std::uint32_t threadDataSize = 0;
  // The system error of the last failed DeviceOpen, taken before anything else can change it.
  std::uint32_t openError_ = 0;

 private:
  bool TerminalKey(char16_t Ch);
  platform::TApplication& app_;
  mutable std::atomic<bool> logFailing_{false};

  TskNotifyList skNotifyList;
  std::atomic<TskCustomLogFile*> fLog{nullptr};
  std::atomic<TskDataProcessorLink*> fDataProcessor{nullptr};
  TSharedEvent<TOnFatalErrorEvent> fOnFatalError;
  TskTerminalBinding terminalBinding_;
  TSharedEvent<TNotifyEvent> fOnClose;
  TSharedEvent<TNotifyEvent> fOnOpen;
  TSharedEvent<TOnReceived> fOnReceived;
  std::atomic<bool> fUseMainThread{false};
  std::atomic<bool> fKeepConnection{false};
  TskKeepConnectionTimer timerKeepConnection;
  mutable std::mutex handleMutex_;
  THandle fHandle;
  // Taken by const operations too (a log line), hence mutable.
  mutable TskLinkUseGuard linkUses_;
  std::mutex workersMutex_;
  std::unique_ptr<TskThreadIO> fThreadIO;
  std::vector<std::unique_ptr<platform::TThread>> deferredWorkers_;
  TskDeviceList slDevices{this};

  friend class TskThreadIO;
};

}  // namespace sk
