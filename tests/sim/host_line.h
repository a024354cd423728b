#pragma once
// The host end of a simulated device: the pseudo-terminal opened raw, with reads that wait
// for what is expected (with a generous deadline) instead of sleeping.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/eventually.h"

namespace sk::test {

class HostLine {
 public:
  explicit HostLine(const std::string& Path) {
    fd_ = ::open(Path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) throw std::runtime_error("cannot open " + Path);
    termios t{};
    ::tcgetattr(fd_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd_, TCSANOW, &t);
  }
  ~HostLine() { Close(); }
  HostLine(const HostLine&) = delete;
  HostLine& operator=(const HostLine&) = delete;

  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  void Write(const std::vector<std::uint8_t>& Bytes) {
    if (::write(fd_, Bytes.data(), Bytes.size()) != static_cast<ssize_t>(Bytes.size()))
      throw std::runtime_error("write to the simulator failed");
  }
  // Reads until Text has arrived, the line is lost or 10 s pass; returns all read.
  std::string ReadUntil(const std::string& Text, int TimeoutMs = 10000) {
    testsupport::Eventually([&] { return received_.find(Text) != std::string::npos || lost_; },
                            std::chrono::milliseconds(TimeoutMs),
                            [&] {
                              pollfd p{fd_, POLLIN, 0};
                              if (::poll(&p, 1, 50) <= 0) return;
                              char buf[4096];
                              const ssize_t n = ::read(fd_, buf, sizeof buf);
                              if (n > 0)
                                received_.append(buf, static_cast<std::size_t>(n));
                              else if (n == 0 || (p.revents & (POLLHUP | POLLERR)))
                                lost_ = true;  // the simulator closed its end
                            });
    return received_;
  }
  // Waits until the simulator's end is closed; true if it was within TimeoutMs.
  bool WaitLost(int TimeoutMs = 10000) {
    ReadUntil("\x01never\x02", TimeoutMs);
    return lost_;
  }
  void Forget() { received_.clear(); }

 private:
  int fd_ = -1;
  std::string received_;
  bool lost_ = false;
};

}  // namespace sk::test
