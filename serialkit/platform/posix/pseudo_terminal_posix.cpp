#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "serialkit/core/exception.h"
#include "serialkit/testing/pseudo_terminal.h"

namespace sk::platform {

struct PseudoTerminal::StandIn {};

namespace {
[[noreturn]] void Fail(const char* what) {
  throw Exception(std::string("pseudo-terminal: ") + what + ": " + std::strerror(errno));
}
}  // namespace

PseudoTerminal::PseudoTerminal() {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (master_ < 0) Fail("posix_openpt");
  char name[128];
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
      ::ptsname_r(master_, name, sizeof name) != 0) {
    const int err = errno;
    ::close(master_);
    errno = err;
    Fail("unlock");
  }
  slavePath_ = name;
  // Raw from the start, so that bytes written before a port opens the slave arrive unchanged
  // and nothing is echoed. The slave keeps its settings while the master stays open.
  const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) {
    const int err = errno;
    ::close(master_);
    errno = err;
    Fail("open slave");
  }
  termios t{};
  if (::tcgetattr(slave, &t) == 0) {
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
  }
  ::close(slave);
}

PseudoTerminal::~PseudoTerminal() {
  CloseMaster();
}

void PseudoTerminal::CloseMaster() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

bool PseudoTerminal::Write(const std::vector<std::uint8_t>& Bytes) {
  std::size_t done = 0;
  while (done < Bytes.size()) {
    const ssize_t n = ::write(master_, Bytes.data() + done, Bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      pollfd p{master_, POLLOUT, 0};
      if (::poll(&p, 1, 5000) <= 0) return false;
    } else if (n < 0 && errno != EINTR) {
      return false;
    }
  }
  return true;
}

std::vector<std::uint8_t> PseudoTerminal::Read(std::size_t Count, int TimeoutMs) {
  std::vector<std::uint8_t> got;
  while (got.size() < Count) {
    pollfd p{master_, POLLIN, 0};
    const int r = ::poll(&p, 1, TimeoutMs);
    if (r <= 0 || (p.revents & POLLIN) == 0) break;  // time-out, or no slave open (hang-up)
    std::uint8_t buf[4096];
    const std::size_t want = std::min(sizeof buf, Count - got.size());
    const ssize_t n = ::read(master_, buf, want);
    if (n > 0)
      got.insert(got.end(), buf, buf + n);
    else if (!(n < 0 && (errno == EAGAIN || errno == EINTR)))
      break;
  }
  return got;
}

}  // namespace sk::platform
