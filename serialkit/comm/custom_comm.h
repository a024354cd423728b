#pragma once
// The serial port logic: the line settings and how they become the device's records, opening
// and closing, the two worker threads and the receive path, the send path, purging and line
// control.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "serialkit/comm/base_io.h"
#include "serialkit/platform/messages.h"
#include "serialkit/platform/serial_records.h"

namespace sk {

class TCommThread;
class TMsgThread;
class TPortWaits;

class TskCustomComm : public TskBaseIO {
 public:
  explicit TskCustomComm(TComponent* AOwner = nullptr,
                         platform::TApplication& App = platform::Application());
  ~TskCustomComm() override;
  std::string ClassName() const override { return "TskCustomComm"; }

  // --- Line settings (written at once to an open port, else at the next open) ------------
  std::uint32_t BaudRate() const { return CommCfg.dcb.BaudRate; }
  void SetBaudRate(std::uint32_t Value);
  TParity Parity() const { return static_cast<TParity>(CommCfg.dcb.Parity); }
  void SetParity(TParity Value);
  TStopBits StopBits() const { return static_cast<TStopBits>(CommCfg.dcb.StopBits); }
  void SetStopBits(TStopBits Value);
  std::uint8_t ByteSize() const { return CommCfg.dcb.ByteSize; }
  // 4 to 8; anything else becomes 8.
  void SetByteSize(std::uint8_t Value);
  char16_t EventChar() const { return GetEventChar(); }
  // The low 8 bits become the DCB's event character.
  void SetEventChar(char16_t Value);
  TStreamProtocol StreamProtocol() const { return fProtocol; }
  void SetStreamProtocol(TStreamProtocol Value);
  bool RS485Mode() const { return fRS485Mode.load(); }
  void SetRS485Mode(bool Value);
  TTraceStates TraceStates() const { return fTraceStates.load(); }
  // Also writes the event mask derived from it to an open port.
  void SetTraceStates(TTraceStates Value);
  std::uint16_t BufferInSize() const { return fBufferInSize.load(); }
  void SetBufferInSize(std::uint16_t Value);
  std::uint16_t BufferOutSize() const { return fBufferOutSize.load(); }
  void SetBufferOutSize(std::uint16_t Value);
  std::uint32_t TimeoutRead() const { return fCommTimeouts.ReadIntervalTimeout; }
  void SetTimeoutRead(std::uint32_t Value);
  std::uint32_t TimeoutWrite() const { return fCommTimeouts.WriteTotalTimeoutConstant; }
  void SetTimeoutWrite(std::uint32_t Value);

  // Controls whose "Checked" state follows the modem lines; any component may be linked,
  // only those implementing TCheckedControl are switched.
  TComponent* MonitorCTS() const { return fMonitorCTS.load(); }
  void SetMonitorCTS(TComponent* Value) { SetMonitor(fMonitorCTS, Value); }
  TComponent* MonitorDSR() const { return fMonitorDSR.load(); }
  void SetMonitorDSR(TComponent* Value) { SetMonitor(fMonitorDSR, Value); }
  TComponent* MonitorRLSD() const { return fMonitorRLSD.load(); }
  void SetMonitorRLSD(TComponent* Value) { SetMonitor(fMonitorRLSD, Value); }
  TComponent* MonitorRing() const { return fMonitorRing.load(); }
  void SetMonitorRing(TComponent* Value) { SetMonitor(fMonitorRing, Value); }

  // Events of the receive path: in the port's message worker, or with UseMainThread in the main
  // thread. OnAfterSend: the transmitter has run empty (with tsTxEmpty traced). OnTraceState: a
  // traced line or queue state was reported. OnCommError: a line error, from the receive path;
  // or a failed send, purge or line control, in the thread that called it.
  TOnSent OnAfterSend() const { return fOnSent.Get(); }
  void SetOnAfterSend(TOnSent Value) { fOnSent.Set(std::move(Value)); }
  TOnTraceEvent OnTraceState() const { return fOnTraceState.Get(); }
  void SetOnTraceState(TOnTraceEvent Value) { fOnTraceState.Set(std::move(Value)); }
  TOnCommErrorEvent OnCommError() const { return fOnCommError.Get(); }
  void SetOnCommError(TOnCommErrorEvent Value) { fOnCommError.Set(std::move(Value)); }

  // --- Records ----------------------------------------------------------------------------
  const COMMCONFIG& CommConfig() const { return CommCfg; }
  const COMMTIMEOUTS& CommTimeouts() const { return fCommTimeouts; }
  // The event mask that TraceStates and RS485Mode give.
  std::uint32_t EventMask() const;
  // Writes the DCB (with the flags of StreamProtocol and RS485Mode) to an open port.
  void WriteDeviceState();
  // Refreshes the records from an open port and derives StreamProtocol and RS485Mode.
  void ReadDeviceState();
  void SetTimeouts(const COMMTIMEOUTS& Value);
  // Shows the port configuration dialog on the record; a confirmed dialog's settings become
  // the component's and reach an open port, a cancelled one changes nothing.
  void ConfigDialog();
  // The event mask for the trace states, and the trace states of reported events.
  static std::uint32_t EventMaskOf(TTraceStates States, bool SoftwareRS485);
  static TTraceStates TraceStatesOf(std::uint32_t Events);

  // --- State ------------------------------------------------------------------------------
  std::string ComName() const { return GetComName(); }
  std::string LastErrorString() const;
  std::uint32_t TotalSent() const { return fTotalSent.load(std::memory_order_relaxed); }
  std::uint32_t TotalReceived() const { return fTotalReceived.load(std::memory_order_relaxed); }
  // Bytes waiting to be read, and bytes not yet sent; 0 on a closed port.
  std::uint32_t ReadyForRead() const;
  std::uint32_t NotYetSend() const;
  // Refreshed from an open port; the last values read while closed.
  const COMMPROP* CommProp();
  TModemSignals ModemSignals() const;
  // Whether the driver cannot raise RTS around a transmission itself (then the component
  // drives it in RS485 mode).
  bool IsNotSupportRS485() const { return fIsNotSupportRS485; }

  // --- Sending, purging, line control (never throw; nothing on a closed port) ------------
  void SendChar(char16_t Ch) override;
  // The byte goes out ahead of output still queued.
  void SendAheadChar(char16_t Ch);
  void SendString(const ByteString& S) override;
  void SendData(const Byte* Buff, std::uint32_t N) override;
  void ClearDeviceInput() override;
  void ClearDeviceOutput() override;
  void ClearDeviceBuffers() override;
  // Returns when the output has been transmitted.
  void FlushOutputBuffer();
  bool CancelDeviceIo(const THandle& Handle);
  void SetStateDTR(bool State);
  void SetStateRTS(bool State);
  void SetStateX(bool State);
  void SetStateBreak(bool State);
  // Waits up to Ms for Signal, serving the calling thread's messages meanwhile.
  bool WaitForSignal(TModemSignal Signal, std::uint32_t Ms);

  // --- Direct reads -----------------------------------------------------------------------
  // They take bytes from the input queue themselves and so compete with the message worker,
  // which empties the queue whenever something reads (IsReadRequired or tsRxChar).
  // Waits until Len bytes have come or the time-outs end the read.
  void Read(Byte* Buffer, std::uint32_t Len);
  // What is waiting now; Buffer ends up holding what was read. Never waits: what another
  // reader took meanwhile is not waited for.
  void ReadAll(ByteString& Buffer);
  // At most MaxLen of what is waiting, without waiting; the result is the number read.
  std::int32_t ReadMax(Byte* Buffer, std::uint32_t MaxLen);
  ByteString ReadString();
  // Whether Count bytes are waiting within Ms, serving the calling thread's messages
  // meanwhile; false at once on a closed port. The message worker leaves arriving bytes in
  // the queue meanwhile only while nothing else needs them read.
  bool WaitForBytes(std::uint32_t Count, std::uint32_t Ms);

  // Trace event: updates the monitor controls, then OnTraceState.
  void DoTraceState(TObject* Sender, TTraceStates States);
  static void SetMonitorState(TComponent* Control, bool Value);

 protected:
  virtual std::string GetComName() const { return "Unknown"; }
  virtual void SetupDevice();
  virtual char16_t GetEventChar() const;
  // A failed send or a line error: the log line, OnCommError, and the purge it may ask for.
  virtual void DoCommError(std::uint32_t CommCode, std::uint32_t SysError, TComStateFlags State);

  // The first steps of destruction: links dropped, port closed, workers stopped. The workers
  // call virtual operations, so a class deriving from this family runs it at the start of
  // its destructor, while its own overrides are still in place. Running it again does
  // nothing more.
  void Shutdown();

  void DoOpen() override;
  void DoClose() override;
  void InternalCloseDevice(const THandle& Device, bool Orderly) override;
  void KeepConnectionTimer(TObject* Sender) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

  // --- Worker threads and the receive path ------------------------------------------------
  // Stops the workers of an earlier open, then starts the message worker and the event
  // worker on the open device.
  void StartThreads() override;
  // Returns when both workers have ended (see StopWorkers for a stop from within one).
  void StopThreads() override;
  // Handles one event that the event worker posted: line errors, reading what is waiting,
  // the transmitter running empty, trace states. One event at a time, in posting order.
  virtual void HandleCommEvent(const platform::TMsg& Msg);
  // The device whose input the message worker may watch itself while it has nothing to
  // handle, so that input is read as it arrives rather than after the event worker has passed
  // it on; null when it must wait for posted events only: nothing reads the input, the event
  // mask asks for what only the event worker sees in the input (the event character, a nearly
  // full buffer), or the device has no descriptor to wait on.
  THandle InputToWatch() const;

  void AllocReadBuffer();
  void FreeReadBuffer();
  // The receive buffer of this open; made anew should a racing close have dropped it.
  std::shared_ptr<std::vector<Byte>> ReadBuffer();
  // The port status the receive path last read.
  COMSTAT LastStat() const;
  bool SoftwareRS485() const { return fRS485Mode.load() && fIsNotSupportRS485; }

  COMMPROP ComProp{};
  COMMTIMEOUTS fCommTimeouts{};
  std::atomic<std::uint32_t> fTotalSent{0};
  std::atomic<std::uint32_t> fTotalReceived{0};
  // Shared, so that a worker still reading into it when another thread closes the port
  // keeps it until it is done.
  std::shared_ptr<std::vector<Byte>> glBuffer;
  // The line settings; members the component does not drive keep the values of the
  // platform's default configuration (none on this platform: zero).
  COMMCONFIG CommCfg{};

 private:
  void SetMonitor(std::atomic<TComponent*>& Field, TComponent* Value);
  // The byte of a send failed: the reason goes to DoCommError.
  void SendFailed();

  // The number actually read, 0 on failure or on a closed port. Wait: until Len bytes have
  // come or the time-outs end the read; otherwise only what is there now.
  std::uint32_t ReadCount(Byte* Buffer, std::uint32_t Len, bool Wait);

  std::string lastErrorString_;
  std::atomic<TTraceStates> fTraceStates{0};
  // Reads of the receive path that took bytes; the message worker watches the input only
  // while watching it leads to reads.
  std::atomic<std::uint64_t> chunksRead_{0};
  std::atomic<std::uint16_t> fBufferOutSize{0};
  std::atomic<std::uint16_t> fBufferInSize{0};
  // The driver is given both sizes at once: held from a size's change through that call, so
  // that two threads changing one each cannot leave the driver with an old pair.
  std::mutex bufferSizesMutex_;
  std::atomic<bool> fRS485Mode{false};
  std::atomic<TComponent*> fMonitorRLSD{nullptr};
  std::atomic<TComponent*> fMonitorRing{nullptr};
  std::atomic<TComponent*> fMonitorCTS{nullptr};
  std::atomic<TComponent*> fMonitorDSR{nullptr};
  const bool fIsNotSupportRS485;
  TStreamProtocol fProtocol = spNone;
  TSharedEvent<TOnSent> fOnSent;
  TSharedEvent<TOnTraceEvent> fOnTraceState;
  TSharedEvent<TOnCommErrorEvent> fOnCommError;
  // The threads in WaitForBytes and WaitForSignal, woken by each port event and the close.
  std::unique_ptr<TPortWaits> waits_;

  mutable std::mutex bufferMutex_;  // glBuffer and Stat
  COMSTAT Stat{};
  bool shutDown_ = false;
  std::mutex threadsMutex_;
  std::unique_ptr<TMsgThread> MsgThread;
  std::unique_ptr<TCommThread> CommThread;

  friend class TCommThread;
  friend class TMsgThread;
};

}  // namespace sk
