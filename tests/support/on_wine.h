#pragma once
// Whether this program runs under Wine, whose serial driver differs from Windows' own in ways a
// few cases cannot get round: those skip there, with the reason.
#ifdef _WIN32
#include <windows.h>
#endif

namespace testsupport {

inline bool OnWine() {
#ifdef _WIN32
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

}  // namespace testsupport
