#pragma once
// A serial device on a POSIX terminal: termios for the line, the output queue for writes, and
// an input buffer of its own that the event wait fills, so that "characters received" is
// reported once per arrival and the event character can be seen without consuming input.
#include <atomic>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>

#include "serialkit/platform/line_error_counters.h"
#include "serialkit/platform/posix/output_queue.h"
#include "serialkit/platform/serial_device.h"
#include "serialkit/platform/wake_event.h"

namespace sk::platform::posix {

class PosixSerialDevice final : public SerialDevice {
 public:
  // Takes an open terminal descriptor in non-blocking mode; the device closes it.
  explicit PosixSerialDevice(int Fd);
  ~PosixSerialDevice() override;

  void Close() override;
  bool IsClosed() const override { return closed_.load(); }
  NativeHandle Native() const override;

  bool SetupComm(std::uint32_t InQueue, std::uint32_t OutQueue) override;
  bool GetCommState(DCB& Dcb) override;
  bool SetCommState(const DCB& Dcb) override;
  bool GetCommTimeouts(COMMTIMEOUTS& Timeouts) override;
  bool SetCommTimeouts(const COMMTIMEOUTS& Timeouts) override;
  bool GetCommMask(std::uint32_t& Mask) override;
  bool SetCommMask(std::uint32_t Mask) override;
  bool WaitCommEvent(std::uint32_t& Events, NativeHandle WakeFd) override;
  void WatchInput(bool Value) override;
  bool ClearCommError(std::uint32_t* Errors, COMSTAT* Stat) override;
  bool Read(void* Buffer, std::uint32_t Count, std::uint32_t& ReadCount) override;
  bool ReadAvailable(void* Buffer, std::uint32_t Count, std::uint32_t& ReadCount) override;
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
  // Line counters of the driver, where it keeps them.
  using Counters = TLineCounters;
  // A reader waiting for input: woken when the event wait buffered input or a purge ended it.
  struct Reader {
    WakeEvent wake;
    bool aborted = false;
  };

  std::shared_lock<std::shared_mutex> Use() const;
  OutputQueue::Timeouts WriteTimeouts() const;
  std::optional<Counters> ReadCounters() const;
  std::optional<std::uint32_t> ModemLines() const;
  // Moves what the driver has into the input buffer, up to its size. Result the bytes moved,
  // or -1 with errno when the device is gone. With inputMutex_ held.
  long PullInput(bool& SawEventChar);
  std::uint32_t OutputQueued() const;  // in the driver and in the output queue
  // Advances the transmitter clock by Count characters at the current line settings, before
  // they are handed over: the driver of a pseudo-terminal takes them at once, and a
  // transmitter-empty event is due only once a real line would have sent them.
  void StartTransmitting(std::size_t Count);
  void TakeBack(std::size_t Count);  // characters counted but not handed over
  std::int64_t ByteTimeNs() const;   // one character on the line, start to stop bits
  // Nanoseconds (steady clock) until the transmitter clock runs out; 0 or less when it has.
  std::int64_t TransmitterBusyFor() const;
  void WakeReaders(bool Abort);  // with inputMutex_ held
  // Moves up to Count - ReadCount bytes from the input buffer, then from the driver, into Out
  // at ReadCount. False with errno when the driver failed before anything was taken. With
  // inputMutex_ held.
  bool TakeInput(std::uint8_t* Out, std::uint32_t Count, std::uint32_t& ReadCount,
                 std::size_t Capacity);

  int fd_;
  std::atomic<bool> closed_{false};
  mutable std::shared_mutex useMutex_;       // shared by operations, exclusive by Close
  WakeEvent closeWake_;                      // readable from Close on
  WakeEvent eventWake_;                      // mask changed or output drained
  std::atomic<bool> inputWatched_{false};    // another thread reads the input as it comes
  std::atomic<bool> eventWaitBlind_{false};  // the event wait may sleep without the input
  std::atomic<bool> txPending_{false};       // output drained since the last EV_TXEMPTY report
  std::atomic<bool> txEmptyWanted_{false};   // the mask holds EV_TXEMPTY
  std::atomic<bool> drainAwaited_{false};    // an event wait sleeps until the queue drains
  // The driver keeps no line-error counters (a pseudo-terminal, many USB adapters): every
  // receive event would ask again, for a system call that can only fail.
  mutable std::atomic<bool> noCounters_{false};
  std::atomic<std::int64_t> txBusyUntil_{0};  // steady clock, ns: the line's last stop bit
  std::unique_ptr<OutputQueue> output_;

  mutable std::mutex stateMutex_;  // settings, mask and counter baselines
  DCB dcb_;
  COMMTIMEOUTS timeouts_;
  std::uint32_t mask_ = 0;
  std::uint32_t maskGeneration_ = 0;
  std::uint32_t inQueue_ = 4096;
  std::uint32_t outQueue_ = 4096;
  TLineErrorBaseline errorBaseline_;  // for ClearCommError
  Counters eventBase_;                // for EV_BREAK and EV_ERR
  std::uint32_t eventLines_ = 0;      // modem lines when the event wait last looked

  std::mutex inputMutex_;
  std::deque<std::uint8_t> input_;
  std::list<Reader*> readers_;
};

}  // namespace sk::platform::posix
