#pragma once
// An open serial device with the operations of the Win32 communications interface that the
// port component calls. Every operation may be called from any thread; on failure it returns
// false and leaves the reason in the calling thread's LastError() (platform/system_error.h).
#include <cstdint>
#include <memory>
#include <string>

#include "serialkit/platform/native_handle.h"
#include "serialkit/platform/serial_records.h"

namespace sk::platform {

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  // Releases the device. Waits and writes pending in other threads end with an error, later
  // calls fail with the error of an invalid handle. Calling it again does nothing.
  virtual void Close() = 0;
  virtual bool IsClosed() const = 0;
  // The descriptor (a handle on Windows) while open, -1 once closed.
  virtual NativeHandle Native() const = 0;
  // What a wait can include to see input arrive (WaitReadable), or kNoNativeHandle where the
  // device offers none: its input then shows through the event wait alone.
  virtual NativeHandle InputWaitHandle() const { return Native(); }

  // Recommended queue sizes; the input size bounds how much the device buffers itself.
  virtual bool SetupComm(std::uint32_t InQueue, std::uint32_t OutQueue) = 0;
  virtual bool GetCommState(DCB& Dcb) = 0;
  // All or nothing: a setting the driver refuses fails the call and the device keeps its
  // previous settings.
  virtual bool SetCommState(const DCB& Dcb) = 0;
  // dwSize 52 with the current DCB; no provider data.
  bool GetCommConfig(COMMCONFIG& Config) {
    COMMCONFIG c{};
    c.dwSize = kCommConfigSize;
    c.wVersion = 1;
    if (!GetCommState(c.dcb)) return false;
    Config = c;
    return true;
  }
  virtual bool GetCommTimeouts(COMMTIMEOUTS& Timeouts) = 0;
  // Honoured by Read and by both kinds of write.
  virtual bool SetCommTimeouts(const COMMTIMEOUTS& Timeouts) = 0;
  virtual bool GetCommMask(std::uint32_t& Mask) = 0;
  // Also ends a pending WaitCommEvent with no events.
  virtual bool SetCommMask(std::uint32_t Mask) = 0;
  // Waits for an event of the mask (EV_ bits). Events receives what occurred; it is 0 when
  // the mask was changed or WakeFd (a WakeEvent's descriptor, -1 for none) became readable.
  // Fails when the device is lost or closed. One waiter at a time.
  virtual bool WaitCommEvent(std::uint32_t& Events, NativeHandle WakeFd) = 0;
  // True while another thread waits for InputWaitHandle() to become readable and reads the input
  // itself at once: the event wait then leaves the input to it instead of waking for the same
  // bytes. False hands the input back to the event wait, waking it if it sleeps without
  // looking at the input.
  virtual void WatchInput(bool Value) { (void)Value; }
  // Errors receives the CE_ flags collected since the last call (and clears them); Stat, when
  // given, the hold flags and the input and output queue counts. Either may be null.
  virtual bool ClearCommError(std::uint32_t* Errors, COMSTAT* Stat) = 0;
  // Reads under the time-outs (all zero: until Count bytes have arrived). ReadCount is less
  // than Count when a time-out ended the read. A purge of the input ends it with an error.
  virtual bool Read(void* Buffer, std::uint32_t Count, std::uint32_t& ReadCount) = 0;
  // Takes what is waiting now, up to Count, and never waits, whatever the time-outs: a count
  // measured earlier may be stale, since a purge or another reader can take bytes meanwhile.
  // A purge never splits it. Fails, having taken nothing, when the device is lost or closed.
  virtual bool ReadAvailable(void* Buffer, std::uint32_t Count, std::uint32_t& ReadCount) = 0;
  // Waited write: returns once the bytes have been handed to the driver, after everything
  // written before it. A write time-out fails it; the bytes not written are dropped.
  virtual bool Write(const void* Buffer, std::uint32_t Count, std::uint32_t& Written) = 0;
  // Unwaited write: keeps a copy of the bytes, queues it behind every earlier write of either
  // kind and returns. A later failure is not reported.
  virtual bool WriteAsync(const void* Buffer, std::uint32_t Count) = 0;
  // PURGE_ flags: aborting ends pending writes or reads with an error, clearing discards the
  // queued output or the buffered input.
  virtual bool PurgeComm(std::uint32_t Flags) = 0;
  // Ends the calling thread's unwaited writes that have not been written yet.
  virtual bool CancelIo() = 0;
  // Returns when all queued output has been transmitted.
  virtual bool FlushFileBuffers() = 0;
  // Sends one byte ahead of the output still queued.
  virtual bool TransmitCommChar(std::uint8_t Ch) = 0;
  // SETDTR, CLRDTR, SETRTS, CLRRTS, SETBREAK, CLRBREAK, SETXON, SETXOFF.
  virtual bool EscapeCommFunction(std::uint32_t Func) = 0;
  // MS_ bits of CTS, DSR, RING and RLSD; fails where the device has no modem lines.
  virtual bool GetCommModemStatus(std::uint32_t& ModemStat) = 0;
  virtual bool GetCommProperties(COMMPROP& Prop) = 0;
};

// Opens the device at Path for exclusive use (a second opener fails, also with
// administrative rights); null with LastError() set on failure. A path that is not a
// terminal device fails with ENOTTY's text.
std::shared_ptr<SerialDevice> OpenSerialDevice(const std::string& Path);
// Opens a port by name: "COMn" through the port map (platform/port_map.h), a name that begins
// with "/" as a path. A name the map does not know fails with ENOENT's text.
std::shared_ptr<SerialDevice> OpenSerialPort(const std::string& Name);
// Takes over an open terminal descriptor that somebody else opened; the device closes it.
// Null with LastError() set when Handle is not a terminal.
std::shared_ptr<SerialDevice> AdoptSerialDevice(NativeHandle Handle);

// The system's default configuration of the port Name, as a new port component starts from.
// False, with Config untouched, where the system keeps none (there is none on Linux).
bool GetDefaultCommConfig(const std::string& Name, COMMCONFIG& Config);

// Whether the platform's serial driver raises RTS around each transmission by itself under
// RTS_CONTROL_TOGGLE; where it does not, a component in RS485 mode drives RTS itself.
bool DriverTogglesRts();

}  // namespace sk::platform
