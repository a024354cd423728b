#pragma once
// The calling thread's last system error and its text, as the system reports them (errno and
// strerror on POSIX systems, GetLastError and FormatMessageW on Windows). Failed device
// operations leave their reason here, like the Win32 calls.
#include <cstdint>
#include <string>

namespace sk::platform {

std::uint32_t LastError();
void SetLastError(std::uint32_t Code);
// The system's message text for Code, e.g. "No such file or directory".
std::string SystemErrorText(std::uint32_t Code);

// The system's own code for a failure that code above the system reports itself (a fake
// device, a closed port), so that its text reads as the system's would.
enum class TSystemError {
  InvalidHandle,  // the port is closed
  DeviceLost,     // the device went away under an open port
};
std::uint32_t SystemErrorCode(TSystemError Error);

}  // namespace sk::platform
