#pragma once
// Line speed of a terminal device: the standard rates through the termios speed constants,
// any other rate through termios2 with BOTHER (kept apart because the kernel's termios2
// header clashes with the C library's termios).
#include <cstdint>
#include <optional>

namespace sk::platform::posix {

// Sets input and output speed; false with errno set when the driver refuses.
bool SetBaudRate(int Fd, std::uint32_t Baud);
// The output speed the device reports in bits per second.
std::optional<std::uint32_t> GetBaudRate(int Fd);

}  // namespace sk::platform::posix
