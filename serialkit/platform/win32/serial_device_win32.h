#pragma once
// A serial device on a Win32 communications handle opened for overlapped I/O. The driver keeps
// the settings, the time-outs and the queues; this class adds the ordered output path, a wait
// for events that a wake handle or a close can end, and reads that a purge or a close can end.
#include <windows.h>
// <windows.h> names the system's function as a macro; platform/serial_device.h declares the
// library's own of that name, which every caller sees without the system's header.
#undef GetDefaultCommConfig

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <shared_mutex>

#include "serialkit/platform/serial_device.h"
#include "serialkit/platform/wake_event.h"
#include "serialkit/platform/win32/serial_output_win32.h"

namespace sk::platform::win32 {

class Win32SerialDevice final : public SerialDevice {
 public:
  // Takes an open communications handle; the device closes it.
  explicit Win32SerialDevice(HANDLE Handle);
  ~Win32SerialDevice() override;

  void Close() override;
  bool IsClosed() const override { return closed_.load(); }
  NativeHandle Native() const override;
  // A communications handle is no readiness signal: input shows through the event wait alone.
  NativeHandle InputWaitHandle() const override { return kNoNativeHandle; }

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
  // A read in progress, which a purge of the input ends.
  struct Reader {
    WakeEvent done;
    WakeEvent abort;
  };

  std::shared_lock<std::shared_mutex> Use() const;
  // One overlapped read of Count bytes under the current time-outs.
  bool ReadOnce(void* Buffer, std::uint32_t Count, std::uint32_t& ReadCount);

  HANDLE handle_;
  std::atomic<bool> closed_{false};
  mutable std::shared_mutex useMutex_;  // shared by operations, exclusive by Close
  WakeEvent closeWake_;                 // signalled from Close on
  std::unique_ptr<OutputPath> output_;

  std::mutex maskMutex_;
  std::uint32_t maskGeneration_ = 0;
  WakeEvent maskWake_;  // the mask changed
  WakeEvent waitDone_;  // completion of the one event wait

  // Held from measuring the input to reading it by the reads that never wait, and by a purge of
  // the input, so that no other of them takes the measured bytes in between.
  std::mutex takeMutex_;
  std::mutex readersMutex_;
  std::list<Reader*> readers_;
};

}  // namespace sk::platform::win32
