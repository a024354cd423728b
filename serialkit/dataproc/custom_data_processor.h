#pragma once
// The base of the data processors: the links to the device that feeds it, to the next
// processor of the chain and to a log, the Active switch, the fatal-error path, the send hook
// and the asynchronous timer. It passes every chunk on to the next processor and does nothing
// else with the bytes.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>

#include "serialkit/comm/comm_types.h"
#include "serialkit/comm/data_processor_link.h"
#include "serialkit/comm/notify_list.h"
#include "serialkit/comm/shared_event.h"
#include "serialkit/core/bytes.h"
#include "serialkit/core/fatal_error.h"
#include "serialkit/log/custom_log_file.h"
#include "serialkit/platform/application.h"

namespace sk {

class TskBaseIO;
class TskTimer;

// The send hook: it may take the bytes itself and say so through flHandled (false on entry).
// flSynchro is true for a string send, false for a data send.
using TDataSendEvent = TEvent<void(TObject* Sender, const Byte* ptrBuffer, std::uint32_t Len,
                                   bool flSynchro, bool& flHandled)>;

class TskCustomDataProcessor : public TskDataProcessorLink {
 public:
  // App: the application object of the thread that creates the processor, whose queue serves
  // the asynchronous timer and whose error report hears what a send cannot throw.
  explicit TskCustomDataProcessor(TComponent* AOwner = nullptr,
                                  platform::TApplication& App = platform::Application());
  ~TskCustomDataProcessor() override;
  std::string ClassName() const override { return "TskCustomDataProcessor"; }

  // --- Properties ---------------------------------------------------------------------------
  bool Active() const { return fActive.load(); }
  TskCustomDataProcessor* DataProcessor() const { return fDataProcessor.load(); }
  TskBaseIO* Device() const { return fDevice.load(); }
  TskCustomLogFile* Log() const { return fLog.load(); }
  platform::TApplication& App() const { return app_; }
  void SetLog(TskCustomLogFile* Value);
  // In the thread that met the error: for a handler that threw, the thread that raised it.
  TOnFatalErrorEvent OnFatalError() const { return fOnFatalError.Get(); }
  void SetOnFatalError(TOnFatalErrorEvent Value) { fOnFatalError.Set(std::move(Value)); }

  // --- Called by the device ------------------------------------------------------------------
  // The handler on the device's notify list: 1 closed, 2 opened, anything else ignored.
  virtual void DeviceNotify(TObject* Sender, std::int32_t Code);
  // The next processor of the chain; this processor itself is refused. The next one is
  // attached to this processor's device as well.
  virtual void SetDataProcessor(TskCustomDataProcessor* Value);
  void SetDevice(TskBaseIO* Value) override;
  virtual void SetActive(bool Value);
  // Hands the chunk on to the next processor.
  void DoProcessing(const Byte* Data, std::uint32_t Len, TIgnoreTypes& R) override;
  // Feeds bytes as if the device had read them.
  virtual void DataReceive(const Byte* ptrBuffer, std::uint32_t Len);
  void DoAfterSendComplete(bool& flIgnore) override;

 protected:
  virtual void DoMediumClosed();
  virtual void DoMediumOpened();
  // Through the send hook or the device; never throws.
  virtual void DoDataSend(const Byte* ptrBuffer, std::uint32_t Len);
  virtual void DoStringSend(const ByteString& s);
  // The asynchronous timer's handler (Sender is the timer); runs in the creating thread.
  virtual void DoAsyncTimeout(TObject* Sender);
  // Stops the countdown and, unless Interval is 0, starts it again with Interval
  // milliseconds. Callable from any thread.
  virtual void StartAsyncTimer(std::uint32_t Interval);
  // OnFatalError, the log line, then an sk::Exception with Msg unless the handler stopped it.
  virtual void DoFatalErrors(std::uint32_t Code, std::uint32_t Detail, const std::string& Msg);
  // Where a failure goes that nobody may be thrown to (a send): the application's error
  // report, with the exception's own text.
  void ReportException(std::exception_ptr E = std::current_exception()) const noexcept;

  void Notification(TComponent* AComponent, TOperation Operation) override;

  // With a log attached: the line with this processor's prefix in front.
  void WriteLog(TDetailLevel Level, const std::string& Text) const;
  template <class... T>
  void WriteLogFmt(TDetailLevel Level, const std::string& Format, const T&... Args) const {
    if (TskCustomLogFile* log = fLog.load())
      log->AddLogFmt(Level, sLogPrefix + Format, TLogArgs{ToLogArg(Args)...});
  }

  // The send hook has no property: only descendants set it.
  void SetOnDataSend(TDataSendEvent Value) { fOnDataSend.Set(std::move(Value)); }

  // The two ends of a timer tick, shared with descendants that override DoAsyncTimeout.
  // BeginAsyncTimeout stops the timer and gives the count of armings so far; it is false for
  // a tick that the countdown has overtaken (restarted or stopped from another thread after
  // the tick was dispatched), which is then ignored. A call that does not come from the timer
  // is always taken. EndAsyncTimeout stops the timer unless it was armed again meanwhile: data
  // received while the timeout was handled has started a countdown of its own.
  bool BeginAsyncTimeout(TObject* Sender, std::uint64_t& Armings);
  void EndAsyncTimeout(std::uint64_t Armings);
  // The asynchronous timer; null once the processor is being destroyed.
  const TskTimer* AsyncTimer() const { return fTimerAsync.get(); }
  // Destroys the timer, waiting for a tick running in another thread. A descendant whose
  // timer handler uses its own members calls it first in its destructor.
  void ReleaseAsyncTimer();

  std::string sLogPrefix;

 private:
  using Clock = std::chrono::steady_clock;
  void ArmTimer(std::uint32_t Interval);  // with timerMutex_ held
  TskNotifyEvent DeviceNotifyEvent() {
    return TskNotifyEvent(this, &TskCustomDataProcessor::DeviceNotify);
  }

  platform::TApplication& app_;
  // The links are read by the receive thread while the owning thread may change them.
  std::atomic<TskBaseIO*> fDevice{nullptr};
  std::atomic<TskCustomDataProcessor*> fDataProcessor{nullptr};
  std::atomic<bool> fActive{false};
  TSharedEvent<TOnFatalErrorEvent> fOnFatalError;
  std::atomic<TskCustomLogFile*> fLog{nullptr};
  TSharedEvent<TDataSendEvent> fOnDataSend;

  // The timer ticks in the thread that created the processor but is armed from the receive
  // thread as well. Arming is one step under timerMutex_; the deadline and the count of
  // armings let a tick tell whether the countdown it belongs to is still the current one.
  std::mutex timerMutex_;
  std::unique_ptr<TskTimer> fTimerAsync;
  Clock::time_point timerDeadline_{};
  std::uint64_t timerArmings_ = 0;
};

}  // namespace sk
