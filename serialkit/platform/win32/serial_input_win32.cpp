// Reading and waiting for port events.
#include <algorithm>
#include <new>

#include "serialkit/platform/system_error.h"
#include "serialkit/platform/thread_exit.h"
#include "serialkit/platform/win32/overlapped_io.h"
#include "serialkit/platform/win32/serial_device_win32.h"

namespace sk::platform::win32 {

namespace {

HANDLE AsHandle(NativeHandle H) {
  return reinterpret_cast<HANDLE>(H);
}

bool Fail(DWORD Error) {
  ::SetLastError(Error);
  return false;
}

// The completion event of the calling thread's reads that never wait: made once per thread,
// since every received chunk takes one such read, and each new event costs a system call.
HANDLE ThreadEvent() {
  thread_local HANDLE event = nullptr;
  if (event == nullptr) {
    event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event != nullptr) AtThreadExit([h = event] { ::CloseHandle(h); });
  }
  return event;
}

}  // namespace

bool Win32SerialDevice::ReadOnce(void* Buffer, std::uint32_t Count, std::uint32_t& ReadCount) {
  std::unique_ptr<Reader> reader;
  try {
    reader = std::make_unique<Reader>();
  } catch (const SystemException& e) {
    return Fail(e.Code());
  } catch (const std::bad_alloc&) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
  {
    std::lock_guard lock(readersMutex_);
    readers_.push_back(reader.get());
  }
  struct Unregister {
    Win32SerialDevice* self;
    Reader* r;
    ~Unregister() {
      std::lock_guard lock(self->readersMutex_);
      self->readers_.remove(r);
    }
  } unregister{this, reader.get()};

  OVERLAPPED ov{};
  ov.hEvent = AsHandle(reader->done.Native());
  DWORD got = 0;
  if (::ReadFile(handle_, Buffer, Count, &got, &ov)) {
    ReadCount = got;
    return true;
  }
  const DWORD error = ::GetLastError();
  if (error != ERROR_IO_PENDING) return false;
  const IoOutcome r = FinishOverlapped(
      handle_, ov, {AsHandle(closeWake_.Native()), AsHandle(reader->abort.Native())});
  ReadCount = r.transferred;
  if (r.stoppedBy == 0) return Fail(ERROR_INVALID_HANDLE);
  if (r.stoppedBy == 1) return Fail(ERROR_OPERATION_ABORTED);
  return r.ok || Fail(r.error);
}

bool Win32SerialDevice::Read(void* Buffer, std::uint32_t Count, std::uint32_t& ReadCount) {
  ReadCount = 0;
  auto use = Use();
  if (!use) return false;
  if (Count == 0) return true;
  return ReadOnce(Buffer, Count, ReadCount);
}

bool Win32SerialDevice::ReadAvailable(void* Buffer, std::uint32_t Count, std::uint32_t& ReadCount) {
  ReadCount = 0;
  auto use = Use();
  if (!use) return false;
  if (Count == 0) return true;
  std::lock_guard take(takeMutex_);
  DWORD errors = 0;
  ::COMSTAT stat{};
  if (!::ClearCommError(handle_, &errors, &stat)) return false;
  const DWORD want = std::min<DWORD>(Count, stat.cbInQue);
  if (want == 0) return true;
  // Bytes the driver holds are read at once under any time-outs. Should a waited read take
  // some in between, this one would wait for new ones: it is ended at once, and what it got by
  // then is the result.
  OVERLAPPED ov{};
  ov.hEvent = ThreadEvent();
  if (ov.hEvent == nullptr) return false;
  DWORD got = 0;
  if (::ReadFile(handle_, Buffer, want, &got, &ov)) {
    ReadCount = got;
    return true;
  }
  const DWORD error = ::GetLastError();
  if (error != ERROR_IO_PENDING) return false;
  if (::WaitForSingleObject(ov.hEvent, 0) != WAIT_OBJECT_0) CancelOwnIo(handle_, &ov);
  const bool ok = ::GetOverlappedResult(handle_, &ov, &got, TRUE) != FALSE;
  ReadCount = got;
  if (ok || ::GetLastError() == ERROR_OPERATION_ABORTED) return true;
  return false;
}

bool Win32SerialDevice::WaitCommEvent(std::uint32_t& Events, NativeHandle WakeFd) {
  Events = 0;
  auto use = Use();
  if (!use) return false;
  std::uint32_t generation;
  {
    std::lock_guard lock(maskMutex_);
    generation = maskGeneration_;
  }
  OVERLAPPED ov{};
  ov.hEvent = AsHandle(waitDone_.Native());
  waitDone_.Reset();
  DWORD events = 0;
  if (::WaitCommEvent(handle_, &events, &ov)) {
    Events = events;
    return true;
  }
  if (::GetLastError() != ERROR_IO_PENDING) return false;
  const HANDLE wake = WakeFd != kNoNativeHandle ? AsHandle(WakeFd) : nullptr;
  for (;;) {
    const HANDLE handles[] = {ov.hEvent, AsHandle(closeWake_.Native()),
                              AsHandle(maskWake_.Native()), wake};
    const DWORD n = wake != nullptr ? 4 : 3;
    const DWORD r = ::WaitForMultipleObjects(n, handles, FALSE, INFINITE);
    if (r == WAIT_OBJECT_0 + 2) {
      // Reset before looking, so that a change after the look signals again.
      maskWake_.Reset();
      std::lock_guard lock(maskMutex_);
      if (maskGeneration_ == generation) continue;
    }
    if (r != WAIT_OBJECT_0) {
      // Setting the mask ends a pending wait with no events; not every driver lets a wait be
      // cancelled (Wine's does not). The mask stays what it is.
      std::lock_guard lock(maskMutex_);
      DWORD mask = 0;
      if (::GetCommMask(handle_, &mask)) ::SetCommMask(handle_, mask);
    }
    DWORD unused = 0;
    const bool ok = ::GetOverlappedResult(handle_, &ov, &unused, TRUE) != FALSE;
    // Events that came before the wait was ended are still reported.
    if (ok) {
      Events = events;
      return true;
    }
    const DWORD error = ::GetLastError();
    if (r == WAIT_OBJECT_0 + 1 || closed_.load()) return Fail(ERROR_INVALID_HANDLE);
    if (r != WAIT_OBJECT_0) return true;  // ended by the caller's wake-up or a new mask
    // A new mask may end the wait as aborted (Wine's driver does, now and then) where Windows
    // ends it with no events: the device is still there.
    if (error == ERROR_OPERATION_ABORTED) {
      std::lock_guard lock(maskMutex_);
      if (maskGeneration_ != generation) return true;
    }
    return Fail(error);
  }
}

}  // namespace sk::platform::win32
