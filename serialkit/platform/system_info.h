#pragma once
// What the log's first line says about the system it runs on.
#include <cstdint>
#include <string>

namespace sk::platform {

// What the extended version query of the Windows build reports.
struct WindowsVersionInfo {
  std::uint32_t Major = 0;
  std::uint32_t Minor = 0;
  std::uint32_t Build = 0;
  bool NtPlatform = true;   // the NT family rather than 95/98/Me
  bool Workstation = true;  // a workstation product rather than a server or domain controller
  std::string ServicePack;  // the installed service-pack text, often empty
};

// The marketing name of a Windows version ("XP", "7", "Server 2008 R2"); empty when unknown.
std::string WindowsVersionName(const WindowsVersionInfo& Info);

// "Windows " + name + " [major.minor.build] " + service pack.
std::string WindowsVersionString(const WindowsVersionInfo& Info);

// The running system's description: "Linux " + kernel release here, WindowsVersionString on
// Windows; empty when the system will not say.
std::string SystemVersionString();

}  // namespace sk::platform
