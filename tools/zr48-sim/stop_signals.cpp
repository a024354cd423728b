#include "stop_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "serialkit/core/component.h"

namespace zr48sim {

namespace {

volatile sig_atomic_t gStopPipe = -1;
volatile sig_atomic_t gSignal = 0;

void OnSignal(int sig) {
  const int saved = errno;
  gSignal = sig;
  const char byte = 1;
  if (gStopPipe >= 0) [[maybe_unused]]
    auto n = ::write(gStopPipe, &byte, 1);
  errno = saved;
}

}  // namespace

StopSignals::StopSignals() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
    throw sk::Exception(std::string("pipe: ") + std::strerror(errno));
  read_ = fds[0];
  write_ = fds[1];
  gStopPipe = write_;
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &sa, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
}

StopSignals::~StopSignals() {
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::signal(sig, SIG_DFL);
  gStopPipe = -1;
  ::close(read_);
  ::close(write_);
}

int StopSignals::Received() const {
  return gSignal;
}

}  // namespace zr48sim
