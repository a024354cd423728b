// Only the kernel's terminal definitions here: <termios.h> would redefine struct termios.
#include <asm/ioctls.h>
#include <asm/termbits.h>

#include <cerrno>
#include <cstdint>
#include <optional>

#include "serialkit/platform/posix/custom_baud.h"

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace sk::platform::posix {

bool SetBaudRate(int Fd, std::uint32_t Baud) {
  if (Baud == 0) {
    errno = EINVAL;  // 0 would hang up the line rather than set a speed
    return false;
  }
  termios2 t{};
  if (ioctl(Fd, TCGETS2, &t) != 0) return false;
  // BOTHER takes the rate as a number, standard or not; the driver rounds it to what it can.
  t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ispeed = Baud;
  t.c_ospeed = Baud;
  return ioctl(Fd, TCSETS2, &t) == 0;
}

std::optional<std::uint32_t> GetBaudRate(int Fd) {
  termios2 t{};
  if (ioctl(Fd, TCGETS2, &t) != 0) return std::nullopt;
  return t.c_ospeed;
}

}  // namespace sk::platform::posix
