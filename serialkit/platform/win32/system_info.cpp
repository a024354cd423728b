#include "serialkit/platform/system_info.h"

#include <windows.h>

namespace sk::platform {

std::string SystemVersionString() {
  OSVERSIONINFOEXA info{};
  info.dwOSVersionInfoSize = sizeof info;
  // Deprecated, but it is what the log's first line has always reported: without a manifest
  // it says 6.2 on Windows 8 and later.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const BOOL ok = ::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info));
#pragma GCC diagnostic pop
  if (!ok) return "";
  WindowsVersionInfo v;
  v.Major = info.dwMajorVersion;
  v.Minor = info.dwMinorVersion;
  v.Build = info.dwBuildNumber;
  v.NtPlatform = info.dwPlatformId == VER_PLATFORM_WIN32_NT;
  v.Workstation = info.wProductType == VER_NT_WORKSTATION;
  v.ServicePack = info.szCSDVersion;
  return WindowsVersionString(v);
}

}  // namespace sk::platform
