#include "serialkit/platform/win32/overlapped_io.h"

namespace sk::platform::win32 {

namespace {

using CancelIoFn = BOOL(WINAPI*)(HANDLE);
using CancelIoExFn = BOOL(WINAPI*)(HANDLE, LPOVERLAPPED);

struct CancelCalls {
  CancelIoFn cancelIo = nullptr;
  CancelIoExFn cancelIoEx = nullptr;
  CancelCalls() {
    if (HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll")) {
      cancelIo = reinterpret_cast<CancelIoFn>(
          reinterpret_cast<void*>(::GetProcAddress(kernel, "CancelIo")));
      cancelIoEx = reinterpret_cast<CancelIoExFn>(
          reinterpret_cast<void*>(::GetProcAddress(kernel, "CancelIoEx")));
    }
  }
};

const CancelCalls& Calls() {
  static const CancelCalls calls;
  return calls;
}

}  // namespace

bool CancelOwnIo(HANDLE Device, OVERLAPPED* Ov) {
  const auto& c = Calls();
  if (c.cancelIoEx != nullptr && Ov != nullptr) return c.cancelIoEx(Device, Ov) != FALSE;
  if (c.cancelIo != nullptr) return c.cancelIo(Device) != FALSE;
  ::SetLastError(ERROR_PROC_NOT_FOUND);
  return false;
}

IoOutcome FinishOverlapped(HANDLE Device, OVERLAPPED& Ov, std::initializer_list<HANDLE> Stops) {
  HANDLE handles[MAXIMUM_WAIT_OBJECTS];
  int index[MAXIMUM_WAIT_OBJECTS];
  DWORD n = 0;
  handles[n++] = Ov.hEvent;
  int i = 0;
  for (HANDLE h : Stops) {
    if (h != nullptr && n < MAXIMUM_WAIT_OBJECTS) {
      handles[n] = h;
      index[n++] = i;
    }
    ++i;
  }
  IoOutcome out;
  const DWORD r = ::WaitForMultipleObjects(n, handles, FALSE, INFINITE);
  if (r > WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + n) {
    out.stoppedBy = index[r - WAIT_OBJECT_0];
    CancelOwnIo(Device, &Ov);
  }
  out.ok = ::GetOverlappedResult(Device, &Ov, &out.transferred, TRUE) != FALSE;
  if (!out.ok) out.error = ::GetLastError();
  return out;
}

}  // namespace sk::platform::win32
