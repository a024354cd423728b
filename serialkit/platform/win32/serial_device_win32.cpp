#include "serialkit/platform/win32/serial_device_win32.h"

#include <new>
#include <thread>

#include "serialkit/platform/system_error.h"
#include "serialkit/platform/win32/system_records.h"
#include "serialkit/platform/win32/utf16.h"

namespace sk::platform {

namespace {

bool Fail(DWORD Error) {
  ::SetLastError(Error);
  return false;
}

std::shared_ptr<SerialDevice> FailOpen(HANDLE h, DWORD Error) {
  ::CloseHandle(h);
  ::SetLastError(Error);
  return nullptr;
}

// Until the device holds the handle it is closed here; a failure keeps the system's reason.
std::shared_ptr<SerialDevice> Wrap(HANDLE h) {
  ::DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  // Anything but a communications device fails here (disks, pipes, consoles).
  if (!::GetCommState(h, &dcb)) return FailOpen(h, ::GetLastError());
  try {
    return std::make_shared<win32::Win32SerialDevice>(h);
  } catch (const SystemException& e) {
    return FailOpen(h, e.Code());
  } catch (const std::system_error& e) {
    return FailOpen(h, static_cast<DWORD>(e.code().value()));
  } catch (const std::bad_alloc&) {
    return FailOpen(h, ERROR_NOT_ENOUGH_MEMORY);
  } catch (...) {
    ::CloseHandle(h);
    throw;
  }
}

}  // namespace

std::shared_ptr<SerialDevice> OpenSerialDevice(const std::string& Path) {
  // The "\\?\" prefix hands the name to the object manager as it stands, so that COM10 and
  // above and names with dots open (Wine takes it as well); a name that already carries a
  // device prefix keeps it.
  std::wstring name = win32::ToUtf16(Path);
  if (name.rfind(L"\\\\", 0) != 0) name = L"\\\\?\\" + name;
  // No sharing: a second opener fails with ERROR_ACCESS_DENIED.
  const HANDLE h = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return Wrap(h);
}

std::shared_ptr<SerialDevice> OpenSerialPort(const std::string& Name) {
  // The system resolves COM names itself; a path of another system is no port name here.
  if (Name.empty() || Name.front() == '/') {
    ::SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  return OpenSerialDevice(Name);
}

std::shared_ptr<SerialDevice> AdoptSerialDevice(NativeHandle Handle) {
  const HANDLE h = reinterpret_cast<HANDLE>(Handle);
  if (Handle == kNoNativeHandle || h == nullptr) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  // A handle that is no communications device stays its owner's.
  ::DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(h, &dcb)) return nullptr;
  return Wrap(h);
}

bool GetDefaultCommConfig(const std::string& Name, COMMCONFIG& Config) {
  ::COMMCONFIG c{};
  DWORD size = sizeof c;
  c.dwSize = size;
  if (!::GetDefaultCommConfigW(win32::ToUtf16(Name).c_str(), &c, &size)) return false;
  Config = win32::FromSystem(c);
  return true;
}

bool DriverTogglesRts() {
  return true;  // RTS_CONTROL_TOGGLE
}

namespace win32 {

Win32SerialDevice::Win32SerialDevice(HANDLE Handle)
    : handle_(Handle), output_(std::make_unique<OutputPath>(Handle)) {}

Win32SerialDevice::~Win32SerialDevice() {
  Close();
}

void Win32SerialDevice::Close() {
  if (closed_.exchange(true)) return;
  const DWORD saved = ::GetLastError();
  closeWake_.Signal();
  output_->Stop(ERROR_INVALID_HANDLE);
  // Every operation still running has been woken and cancels its own I/O; wait for them to
  // leave the handle.
  std::unique_lock lock(useMutex_);
  ::CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
  ::SetLastError(saved);
}

std::shared_lock<std::shared_mutex> Win32SerialDevice::Use() const {
  std::shared_lock lock(useMutex_);
  if (closed_.load()) {
    lock.unlock();
    ::SetLastError(ERROR_INVALID_HANDLE);
  }
  return lock;
}

NativeHandle Win32SerialDevice::Native() const {
  auto use = Use();
  return use ? reinterpret_cast<NativeHandle>(handle_) : kNoNativeHandle;
}

bool Win32SerialDevice::SetupComm(std::uint32_t InQueue, std::uint32_t OutQueue) {
  auto use = Use();
  return use && ::SetupComm(handle_, InQueue, OutQueue);
}

bool Win32SerialDevice::GetCommState(DCB& Dcb) {
  auto use = Use();
  if (!use) return false;
  ::DCB d{};
  d.DCBlength = sizeof d;
  if (!::GetCommState(handle_, &d)) return false;
  Dcb = FromSystem(d);
  return true;
}

bool Win32SerialDevice::SetCommState(const DCB& Dcb) {
  auto use = Use();
  if (!use) return false;
  if (Dcb.BaudRate == 0) return Fail(ERROR_INVALID_PARAMETER);
  ::DCB old{};
  old.DCBlength = sizeof old;
  if (!::GetCommState(handle_, &old)) return false;
  ::DCB wanted = ToSystem(Dcb);
  wanted.DCBlength = sizeof wanted;
  if (::SetCommState(handle_, &wanted)) return true;
  // Some drivers take the settings piece by piece; what they took before refusing goes back.
  const DWORD error = ::GetLastError();
  ::SetCommState(handle_, &old);
  return Fail(error);
}

bool Win32SerialDevice::GetCommTimeouts(COMMTIMEOUTS& Timeouts) {
  auto use = Use();
  ::COMMTIMEOUTS t{};
  if (!use || !::GetCommTimeouts(handle_, &t)) return false;
  Timeouts = FromSystem(t);
  return true;
}

bool Win32SerialDevice::SetCommTimeouts(const COMMTIMEOUTS& Timeouts) {
  auto use = Use();
  ::COMMTIMEOUTS t = ToSystem(Timeouts);
  return use && ::SetCommTimeouts(handle_, &t);
}

bool Win32SerialDevice::GetCommMask(std::uint32_t& Mask) {
  auto use = Use();
  if (!use) return false;
  DWORD m = 0;
  if (!::GetCommMask(handle_, &m)) return false;
  Mask = m;
  return true;
}

bool Win32SerialDevice::SetCommMask(std::uint32_t Mask) {
  auto use = Use();
  if (!use) return false;
  std::lock_guard lock(maskMutex_);
  if (!::SetCommMask(handle_, Mask)) return false;
  // The driver ends a pending wait itself; should one not, the wait is told as well.
  ++maskGeneration_;
  maskWake_.Signal();
  return true;
}

bool Win32SerialDevice::ClearCommError(std::uint32_t* Errors, COMSTAT* Stat) {
  auto use = Use();
  if (!use) return false;
  DWORD e = 0;
  ::COMSTAT s{};
  if (!::ClearCommError(handle_, &e, &s)) return false;
  if (Errors != nullptr) *Errors = e;
  if (Stat != nullptr) {
    // Bytes still on the ordered path are output queued as well.
    s.cbOutQue += static_cast<DWORD>(output_->Pending());
    *Stat = FromSystem(s);
  }
  return true;
}

bool Win32SerialDevice::Write(const void* Buffer, std::uint32_t Count, std::uint32_t& Written) {
  Written = 0;
  auto use = Use();
  if (!use) return false;
  DWORD done = 0;
  const DWORD error = output_->Write(static_cast<const std::uint8_t*>(Buffer), Count, done);
  Written = done;
  if (error != 0) return Fail(error);
  // The driver's write time-out ends a write with fewer bytes, which is no success here.
  if (done < Count) return Fail(ERROR_TIMEOUT);
  return true;
}

bool Win32SerialDevice::WriteAsync(const void* Buffer, std::uint32_t Count) {
  auto use = Use();
  if (!use) return false;
  const DWORD error = output_->WriteAsync(static_cast<const std::uint8_t*>(Buffer), Count);
  return error == 0 || Fail(error);
}

bool Win32SerialDevice::PurgeComm(std::uint32_t Flags) {
  auto use = Use();
  if (!use) return false;
  if ((Flags & ~static_cast<std::uint32_t>(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR |
                                           PURGE_RXCLEAR)) != 0)
    return Fail(ERROR_INVALID_PARAMETER);
  if ((Flags & (PURGE_TXABORT | PURGE_TXCLEAR)) != 0) output_->Abort(ERROR_OPERATION_ABORTED);
  if ((Flags & PURGE_RXABORT) != 0) {
    std::lock_guard lock(readersMutex_);
    for (Reader* r : readers_) r->abort.Signal();
  }
  std::lock_guard take(takeMutex_);
  return ::PurgeComm(handle_, Flags) != FALSE;
}

bool Win32SerialDevice::CancelIo() {
  auto use = Use();
  if (!use) return false;
  // The calling thread's unwaited writes wait on the ordered path or are written by its
  // writer thread; its own reads and waited writes have ended before it can call this.
  output_->Cancel(std::this_thread::get_id(), ERROR_OPERATION_ABORTED);
  return true;
}

bool Win32SerialDevice::FlushFileBuffers() {
  auto use = Use();
  if (!use) return false;
  if (!output_->WaitIdle()) return Fail(ERROR_INVALID_HANDLE);
  return ::FlushFileBuffers(handle_) != FALSE;
}

bool Win32SerialDevice::TransmitCommChar(std::uint8_t Ch) {
  auto use = Use();
  return use && ::TransmitCommChar(handle_, static_cast<char>(Ch));
}

bool Win32SerialDevice::EscapeCommFunction(std::uint32_t Func) {
  auto use = Use();
  return use && ::EscapeCommFunction(handle_, Func);
}

bool Win32SerialDevice::GetCommModemStatus(std::uint32_t& ModemStat) {
  ModemStat = 0;
  auto use = Use();
  if (!use) return false;
  DWORD m = 0;
  if (!::GetCommModemStatus(handle_, &m)) return false;
  ModemStat = m;
  return true;
}

bool Win32SerialDevice::GetCommProperties(COMMPROP& Prop) {
  auto use = Use();
  ::COMMPROP p{};
  if (!use || !::GetCommProperties(handle_, &p)) return false;
  Prop = FromSystem(p);
  return true;
}

}  // namespace win32
}  // namespace sk::platform
