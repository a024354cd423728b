#pragma once
// A scriptable serial device for what a pseudo-terminal cannot show: modem lines, line
// errors, settings or writes that the driver refuses, a device that disappears. It records
// every call in a journal ("EscapeCommFunction 6") and keeps the records it was given.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "serialkit/platform/line_error_counters.h"
#include "serialkit/platform/serial_device.h"
#include "serialkit/platform/wake_event.h"

namespace sk::platform {

class FakeSerialDevice final : public SerialDevice {
 public:
  enum class Op {
    SetupComm,
    SetCommState,
    SetCommTimeouts,
    SetCommMask,
    WaitCommEvent,
    ClearCommError,
    Read,
    Write,
    WriteAsync,
    PurgeComm,
    CancelIo,
    FlushFileBuffers,
    TransmitCommChar,
    EscapeCommFunction,
    GetCommModemStatus,
    GetCommProperties
  };

  FakeSerialDevice();
  ~FakeSerialDevice() override;

  // --- Script -----------------------------------------------------------------------------
  // Every later call of Operation fails with Error (a system error code); 0 lets it succeed.
  void FailOperation(Op Operation, std::uint32_t Error);
  // The modem lines (MS_ bits); changed lines raise their events when the mask asks.
  void SetModemStatus(std::uint32_t ModemStat);
  // Counts one line error of each CE_ flag given, which the next ClearCommError reports;
  // raises EV_ERR (EV_BREAK for a break).
  void InjectLineErrors(std::uint32_t Errors);
  // Input arriving: EV_RXCHAR, and EV_RXFLAG when it holds the DCB's event character.
  void ReceiveBytes(const std::vector<std::uint8_t>& Bytes);
  // Input the device sends by itself, for timing tests. Bytes arrive DelayMs after their
  // trigger: the Occurrence-th journal entry equal to After from now on (for example
  // "EscapeCommFunction 3", RTS raised), or, with After empty, the moment the bytes scheduled
  // before them have all been read. Chunks arrive in the order scheduled, when the device is
  // next asked (ClearCommError, Read) after their time.
  void ScheduleInput(std::vector<std::uint8_t> Bytes, std::uint32_t DelayMs, std::string After = {},
                     int Occurrence = 1);
  // Events for the next WaitCommEvent, whatever the mask.
  void RaiseEvents(std::uint32_t Events);
  // Bytes reported as still queued for output (cbOutQue).
  void SetOutputQueued(std::uint32_t Count);
  // The device disappears: waits, reads and writes fail with the
  // system's code of a lost device (TSystemError::DeviceLost) from now on.
  void Disconnect();

  // --- Record -----------------------------------------------------------------------------
  std::vector<std::string> Journal() const;
  void ClearJournal();
  // When each journal entry was made, on the platform's millisecond tick.
  std::vector<std::uint32_t> JournalTimes() const;
  DCB State() const;
  // Every DCB that SetCommState accepted, in order.
  std::vector<DCB> StateHistory() const;
  COMMTIMEOUTS Timeouts() const;
  std::uint32_t Mask() const;
  std::uint32_t InQueue() const;
  std::uint32_t OutQueue() const;
  std::vector<std::uint8_t> Written() const;
  // How often Operation was called, failed calls included.
  int Calls(Op Operation) const;

  // --- SerialDevice -----------------------------------------------------------------------
  void Close() override;
  bool IsClosed() const override;
  NativeHandle Native() const override { return -1; }
  bool SetupComm(std::uint32_t InQueue, std::uint32_t OutQueue) override;
  bool GetCommState(DCB& Dcb) override;
  bool SetCommState(const DCB& Dcb) override;
  bool GetCommTimeouts(COMMTIMEOUTS& Timeouts) override;
  bool SetCommTimeouts(const COMMTIMEOUTS& Timeouts) override;
  bool GetCommMask(std::uint32_t& Mask) override;
  bool SetCommMask(std::uint32_t Mask) override;
  bool WaitCommEvent(std::uint32_t& Events, NativeHandle WakeFd) override;
  bool ClearCommError(std::uint32_t* Errors, COMSTAT* Stat) override;
  bool Read(void* Buffer, std::uint32_t Count, std::uint32_t& ReadCount) override;
  // Journalled as a Read: this device's reads never wait either.
  bool ReadAvailable(void* Buffer, std::uint32_t Count, std::uint32_t& ReadCount) override {
    return Read(Buffer, Count, ReadCount);
  }
  bool Write(const void* Buffer, std::uint32_t Count, std::uint32_t& Written) override;
  bool WriteAsync(const void* Buffer, std::uint32_t Count) override;
  bool PurgeComm(std::uint32_t Flags) override;
  bool CancelIo() override;
  bool FlushFileBuffers() override;
  bool TransmitCommChar(std::uint8_t Ch) override;
  bool EscapeCommFunction(std::uint32_t Func) override;
  bool GetCommModemStatus(std::uint32_t& ModemStat) override;
  bool GetCommProperties(COMMPROP& Prop) override;

 private:
  // Journals the call and tells whether it may go on; with mutex_ held.
  bool Enter(Op Operation, const std::string& Entry);
  void Post(std::uint32_t Events);  // with mutex_ held
  // Moves scheduled input whose time has come into the input queue; with mutex_ held.
  void ReleaseScheduled();
  // Bytes of released scheduled input were read or dropped; with mutex_ held.
  void ScheduledTaken(std::size_t Count);

  struct ScheduledChunk {
    std::vector<std::uint8_t> bytes;
    std::uint32_t delayMs = 0;
    std::string after;
    int occurrence = 1;
    int seen = 0;
    bool triggered = false;
    std::uint32_t triggerTick = 0;
  };

  mutable std::mutex mutex_;
  WakeEvent wake_;
  std::vector<std::string> journal_;
  std::vector<std::uint32_t> journalTimes_;
  std::deque<ScheduledChunk> scheduled_;
  std::size_t scheduledUnread_ = 0;
  std::map<Op, std::uint32_t> failures_;
  std::map<Op, int> calls_;
  bool closed_ = false;
  bool lost_ = false;
  DCB dcb_{};
  std::vector<DCB> dcbHistory_;
  COMMTIMEOUTS timeouts_{};
  std::uint32_t mask_ = 0;
  std::uint32_t maskGeneration_ = 0;
  std::uint32_t inQueue_ = 0;
  std::uint32_t outQueue_ = 0;
  std::uint32_t modem_ = 0;
  // Like a driver's: counted since boot, so an earlier user of the port left them non-zero.
  TLineCounters counters_{3, 1, 4, 1, 5};
  TLineErrorBaseline errorBaseline_;
  std::uint32_t outputQueued_ = 0;
  std::uint32_t pendingEvents_ = 0;
  std::deque<std::uint8_t> input_;
  std::vector<std::uint8_t> written_;
};

}  // namespace sk::platform
