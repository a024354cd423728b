#include "serialkit/platform/wake_event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "serialkit/platform/system_error.h"

namespace sk::platform {

WakeEvent::WakeEvent() {
  handle_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (handle_ < 0) {
    const int error = errno;
    throw SystemException(std::string("eventfd: ") + std::strerror(error),
                          static_cast<std::uint32_t>(error));
  }
}

WakeEvent::~WakeEvent() {
  ::close(handle_);
}

void WakeEvent::Signal() {
  const int saved = errno;  // callers read LastError() after a failed operation
  std::uint64_t one = 1;
  while (::write(handle_, &one, sizeof one) < 0 && errno == EINTR) {
  }
  // The flag after the write: a reset between the two leaves the descriptor readable until
  // the next reset, where the other order could leave it readable for good with the flag clear.
  signalled_.store(true);
  errno = saved;
}

void WakeEvent::Reset() {
  if (!signalled_.exchange(false)) return;
  const int saved = errno;
  std::uint64_t value;
  while (::read(handle_, &value, sizeof value) < 0 && errno == EINTR) {
  }
  errno = saved;
}

bool WakeEvent::IsSignalled() const {
  // Reading would reset it; a zero-timeout poll only looks.
  pollfd p{static_cast<int>(handle_), POLLIN, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0;
}

int WaitReadable(std::initializer_list<std::intptr_t> Handles, int TimeoutMs) {
  pollfd p[8];
  nfds_t n = 0;
  for (std::intptr_t h : Handles)
    if (n < 8) p[n++] = {static_cast<int>(h), POLLIN, 0};  // poll skips negative descriptors
  int r;
  do {
    r = ::poll(p, n, TimeoutMs);
  } while (r < 0 && errno == EINTR);
  for (nfds_t i = 0; r > 0 && i < n; ++i)
    if ((p[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) return static_cast<int>(i);
  return -1;
}

}  // namespace sk::platform
