#include "serialkit/platform/wake_event.h"

#include <windows.h>

#include <string>

#include "serialkit/core/exception.h"
#include "serialkit/platform/system_error.h"

namespace sk::platform {

namespace {

HANDLE AsHandle(NativeHandle Handle) {
  return reinterpret_cast<HANDLE>(Handle);
}

}  // namespace

WakeEvent::WakeEvent() {
  // Manual reset: it stays signalled for every wait until Reset.
  HANDLE h = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (h == nullptr) {
    const DWORD error = ::GetLastError();
    throw SystemException("CreateEvent: " + SystemErrorText(error), error);
  }
  handle_ = reinterpret_cast<NativeHandle>(h);
}

WakeEvent::~WakeEvent() {
  ::CloseHandle(AsHandle(handle_));
}

void WakeEvent::Signal() {
  const DWORD saved = ::GetLastError();  // callers read LastError() after a failed operation
  ::SetEvent(AsHandle(handle_));
  ::SetLastError(saved);
}

void WakeEvent::Reset() {
  const DWORD saved = ::GetLastError();
  ::ResetEvent(AsHandle(handle_));
  ::SetLastError(saved);
}

bool WakeEvent::IsSignalled() const {
  return ::WaitForSingleObject(AsHandle(handle_), 0) == WAIT_OBJECT_0;
}

int WaitReadable(std::initializer_list<std::intptr_t> Handles, int TimeoutMs) {
  HANDLE handles[MAXIMUM_WAIT_OBJECTS];
  int index[MAXIMUM_WAIT_OBJECTS];
  DWORD n = 0;
  int i = 0;
  for (std::intptr_t h : Handles) {
    if (h != kNoNativeHandle && n < MAXIMUM_WAIT_OBJECTS) {
      handles[n] = AsHandle(h);
      index[n++] = i;
    }
    ++i;
  }
  if (n == 0) {
    ::Sleep(TimeoutMs < 0 ? INFINITE : static_cast<DWORD>(TimeoutMs));
    return -1;
  }
  const DWORD r = ::WaitForMultipleObjects(
      n, handles, FALSE, TimeoutMs < 0 ? INFINITE : static_cast<DWORD>(TimeoutMs));
  if (r >= WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + n) return index[r - WAIT_OBJECT_0];
  return -1;
}

}  // namespace sk::platform
