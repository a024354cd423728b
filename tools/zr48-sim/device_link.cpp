#include "device_link.h"

#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

namespace zr48sim {

namespace {

using Clock = std::chrono::steady_clock;

// Writes everything unless the host is gone or stops reading for a second.
bool WriteAll(int fd, const std::uint8_t* data, std::size_t len) {
  while (len > 0) {
    const ssize_t n = ::write(fd, data, len);
    if (n > 0) {
      data += n;
      len -= static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      pollfd p{fd, POLLOUT, 0};
      if (::poll(&p, 1, 1000) <= 0 || (p.revents & POLLOUT) == 0) return false;
    } else if (!(n < 0 && errno == EINTR)) {
      return false;
    }
  }
  return true;
}

// Absolute times on the monotonic clock, the one the line clocks run on.
Nanos Now() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return Nanos{std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec};
}

// How much sooner than a deadline the sleep ends, to be spent watching the clock: a timer
// wake-up comes tens of microseconds late, which on a fast line is several byte times.
constexpr Nanos kSpinMargin = std::chrono::microseconds(60);

// Waits until an absolute deadline, never returning before it: a late wake-up delays this
// write only, never the ones scheduled after it.
void SleepUntil(Nanos Deadline) {
  const Nanos wake = Deadline - kSpinMargin;
  const timespec ts{static_cast<time_t>(wake.count() / 1'000'000'000),
                    static_cast<long>(wake.count() % 1'000'000'000)};
  if (Now() < wake) {
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
  }
  while (Now() < Deadline) {
  }
}

class Session {
 public:
  Session(SimulatedBootLoader& device, const LinkOptions& options,
          const std::function<void(const std::string&)>& log, int master)
      : device_(device), options_(options), log_(log), master_(master), rng_(options.seed) {}

  void Connect() {
    connected_ = true;
    const Nanos now = Now();
    rx_.Reset(now);
    tx_.Reset(now);
    log_("host connected");
    const Answer greeting = device_.Greeting();
    if (device_.Mute())
      log_("tx " + std::to_string(greeting.tag) + " dropped");
    else
      Send(greeting.Bytes(), now);
  }
  bool Connected() const { return connected_; }
  void Disconnect() {
    connected_ = false;
    log_("host disconnected");
    device_.Disconnected();
  }

  // Handles one chunk that was waiting on the line by ArrivedBy; false when the device pulled
  // the cable.
  bool Received(const std::uint8_t* data, std::size_t n, Nanos ArrivedBy) {
    lastRx_ = Clock::now();
    const Nanos bt = ByteTime(options_.plan.baud);
    // The pseudo-terminal hands over at once what a line brings byte by byte: the chunk's
    // bytes follow each other on the line from when they were there, or from when the line
    // has brought what came before them.
    const Nanos start = rx_.Occupy(ArrivedBy, bt * static_cast<std::int64_t>(n));
    for (auto& ev : device_.Receive(data, n)) {
      const Nanos ready = ByteEnd(start, ev.afterByte, bt) + std::chrono::milliseconds(ev.delayMs);
      if (ev.hangup) {
        SleepUntil(ready);
        return false;
      }
      if (ev.answer) {
        Send(ev.answer->Bytes(), ready);
        if (options_.noise) Send(Noise(), ready);
      }
    }
    return true;
  }

  // Milliseconds poll may wait before an unfinished frame times out; -1 for none.
  int FrameTimeoutLeft() const {
    if (!device_.HasPartialFrame()) return -1;
    const auto due = lastRx_ + std::chrono::milliseconds(options_.frameTimeoutMs);
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now()).count();
    return static_cast<int>(std::max<long long>(0, left));
  }
  void CheckFrameTimeout() {
    if (device_.HasPartialFrame() && FrameTimeoutLeft() == 0) device_.FrameTimedOut();
  }

 private:
  // Puts bytes on the device's side of the line no sooner than NotBefore, after whatever is
  // still on it; each piece is written once the line would have carried its last byte.
  void Send(const std::vector<std::uint8_t>& bytes, Nanos NotBefore) {
    const Nanos start = tx_.Occupy(NotBefore, LineTime(bytes.size(), options_.plan));
    for (const auto& piece : PlanWrite(bytes.size(), options_.plan)) {
      SleepUntil(start + piece.at);
      if (!WriteAll(master_, bytes.data() + piece.offset, piece.length)) return;
    }
  }

  std::vector<std::uint8_t> Noise() {
    std::uniform_int_distribution<int> count(1, 8), byte(0, 255);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(count(rng_)));
    for (auto& b : out) b = static_cast<std::uint8_t>(byte(rng_));
    return out;
  }

  SimulatedBootLoader& device_;
  const LinkOptions& options_;
  const std::function<void(const std::string&)>& log_;
  int master_;
  std::mt19937 rng_;
  bool connected_ = false;
  LineClock rx_, tx_;
  Clock::time_point lastRx_{};
};

}  // namespace

DeviceLink::DeviceLink(SimulatedBootLoader& Device, LinkOptions Options,
                       std::function<void(const std::string&)> Log)
    : device_(Device), options_(Options), log_(std::move(Log)) {}

LinkEnd DeviceLink::Run(sk::platform::PseudoTerminal& Pty, int StopFd) {
  // Paced bytes are timed by sleeping; the default timer slack would add 50 us to each.
  if (options_.plan.baud != 0) ::prctl(PR_SET_TIMERSLACK, 1UL);
  Session session(device_, options_, log_, Pty.MasterFd());
  std::vector<std::uint8_t> buf(65536);
  for (;;) {
    // Without a host the master end reports a hang-up at once, so that state is polled.
    const int timeout = session.Connected() ? session.FrameTimeoutLeft() : 10;
    pollfd fds[2] = {{Pty.MasterFd(), POLLIN, 0}, {StopFd, POLLIN, 0}};
    const int r = ::poll(fds, 2, timeout);
    if (r < 0) {
      if (errno == EINTR) continue;
      error_ = std::string("poll: ") + std::strerror(errno);
      return LinkEnd::Failed;
    }
    if (fds[1].revents != 0) return LinkEnd::Stopped;
    short events = fds[0].revents;
    if (events & POLLIN) {
      const Nanos arrivedBy = Now();  // what is read now was there when poll returned
      const ssize_t n = ::read(Pty.MasterFd(), buf.data(), buf.size());
      if (n > 0) {
        if (!session.Connected()) session.Connect();
        if (!session.Received(buf.data(), static_cast<std::size_t>(n), arrivedBy)) {
          Pty.CloseMaster();
          return LinkEnd::HungUp;
        }
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      events |= POLLHUP;  // EIO: no host has the slave end open
    }
    if (events & (POLLHUP | POLLERR)) {
      if (session.Connected()) {
        session.Disconnect();
        if (options_.exitAfterImage && device_.Flash().BlocksWritten() > 0)
          return LinkEnd::ImageDone;
      }
      pollfd stop{StopFd, POLLIN, 0};
      if (::poll(&stop, 1, 10) > 0) return LinkEnd::Stopped;
      continue;
    }
    if (!session.Connected())
      session.Connect();  // the hang-up has cleared: a host opened the slave end
    else
      session.CheckFrameTimeout();
  }
}

}  // namespace zr48sim
