#pragma once
// The window classes of the library's hidden windows.
#include <windows.h>

namespace sk::platform::win32 {

// Registers the class Name with Proc for this program, or finds it registered already. The
// class is kept: windows of it may live on several threads. Callers register once and keep
// the answer. False with the system's error when it cannot.
inline bool RegisterWindowClass(const wchar_t* Name, WNDPROC Proc) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = Proc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = Name;
  return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace sk::platform::win32
