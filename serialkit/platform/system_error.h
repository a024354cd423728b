#pragma once
// The calling thread's last system error and its text, as the system reports them (errno and
// strerror on POSIX systems, GetLastError and FormatMessageW on Windows). Failed device
// operations leave their reason here, like the Win32 calls.
#include <cstdint>
#include <string>

#include "serialkit/core/exception.h"

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

// A failed system call as an exception: its text for whoever shows it, its code for whoever
// passes the failure on as the last error.
class SystemException : public Exception {
 public:
  SystemException(const std::string& What, std::uint32_t Code) : Exception(What), code_(Code) {}
  std::uint32_t Code() const noexcept { return code_; }

 private:
  std::uint32_t code_;
};

}  // namespace sk::platform
