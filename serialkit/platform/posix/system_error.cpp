#include "serialkit/platform/system_error.h"

#include <cerrno>
#include <cstring>

namespace sk::platform {

std::uint32_t LastError() {
  return static_cast<std::uint32_t>(errno);
}

void SetLastError(std::uint32_t Code) {
  errno = static_cast<int>(Code);
}

std::string SystemErrorText(std::uint32_t Code) {
  char buf[256];
  // The GNU strerror_r may return a static string instead of filling buf.
  const char* text = strerror_r(static_cast<int>(Code), buf, sizeof buf);
  return text != nullptr ? std::string(text) : std::string();
}

std::uint32_t SystemErrorCode(TSystemError Error) {
  switch (Error) {
    case TSystemError::InvalidHandle:
      return EBADF;
    case TSystemError::DeviceLost:
      return EIO;
  }
  return EINVAL;
}

}  // namespace sk::platform
