// Reading and waiting for port events.
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <new>

#include "serialkit/platform/posix/deadline.h"
#include "serialkit/platform/posix/serial_device_posix.h"
#include "serialkit/platform/system_error.h"

namespace sk::platform::posix {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kMaxDword = 0xFFFFFFFF;
// How often modem lines and line counters are looked at while the mask asks for them: the
// driver offers no wait for them that another thread could end.
constexpr int kLinePollMs = 10;

bool Fail(int Error) {
  errno = Error;
  return false;
}

int MsUntil(Clock::time_point t) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(t - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

int Earliest(int a, int b) {
  if (a < 0) return b;
  if (b < 0) return a;
  return std::min(a, b);
}

}  // namespace

void PosixSerialDevice::WakeReaders(bool Abort) {
  for (Reader* r : readers_) {
    if (Abort) r->aborted = true;
    r->wake.Signal();
  }
}

long PosixSerialDevice::PullInput(bool& SawEventChar) {
  std::size_t capacity;
  char eventChar;
  {
    std::lock_guard lock(stateMutex_);
    capacity = inQueue_;
    eventChar = dcb_.EvtChar;
  }
  long total = 0;
  while (input_.size() < capacity) {
    std::uint8_t buf[4096];
    const std::size_t want = std::min(sizeof buf, capacity - input_.size());
    const ssize_t n = ::read(fd_, buf, want);
    if (n > 0) {
      input_.insert(input_.end(), buf, buf + n);
      if (std::find(buf, buf + n, static_cast<std::uint8_t>(eventChar)) != buf + n)
        SawEventChar = true;
      total += n;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    // End of file or an error: the device is gone. Bytes taken before stay readable.
    if (total > 0) break;
    if (n == 0) errno = EIO;
    return -1;
  }
  if (total > 0) WakeReaders(false);
  return total;
}

bool PosixSerialDevice::TakeInput(std::uint8_t* Out, std::uint32_t Count, std::uint32_t& ReadCount,
                                  std::size_t Capacity) {
  const bool wasFull = input_.size() >= Capacity;
  const std::size_t take = std::min<std::size_t>(Count - ReadCount, input_.size());
  std::copy_n(input_.begin(), take, Out + ReadCount);
  input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(take));
  ReadCount += static_cast<std::uint32_t>(take);
  if (wasFull && take > 0) eventWake_.Signal();  // the event wait may buffer again
  while (ReadCount < Count) {
    const ssize_t n = ::read(fd_, Out + ReadCount, Count - ReadCount);
    if (n > 0) {
      ReadCount += static_cast<std::uint32_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      break;
    } else {
      if (ReadCount > 0) return true;  // the failure shows with the next call
      return Fail(n == 0 ? EIO : errno);
    }
  }
  return true;
}

bool PosixSerialDevice::ReadAvailable(void* Buffer, std::uint32_t Count, std::uint32_t& ReadCount) {
  ReadCount = 0;
  auto use = Use();
  if (!use) return false;
  if (Count == 0) return true;
  std::size_t capacity;
  {
    std::lock_guard lock(stateMutex_);
    capacity = inQueue_;
  }
  std::lock_guard lock(inputMutex_);
  return TakeInput(static_cast<std::uint8_t*>(Buffer), Count, ReadCount, capacity);
}

bool PosixSerialDevice::Read(void* Buffer, std::uint32_t Count, std::uint32_t& ReadCount) {
  ReadCount = 0;
  auto use = Use();
  if (!use) return false;
  if (Count == 0) return true;
  COMMTIMEOUTS to;
  std::size_t capacity;
  {
    std::lock_guard lock(stateMutex_);
    to = timeouts_;
    capacity = inQueue_;
  }
  // The Win32 time-out rules: MAXDWORD interval with no totals returns what is there;
  // MAXDWORD interval and multiplier with a constant waits that long for a first byte.
  const bool immediate = to.ReadIntervalTimeout == kMaxDword &&
                         to.ReadTotalTimeoutMultiplier == 0 && to.ReadTotalTimeoutConstant == 0;
  const bool firstByte =
      to.ReadIntervalTimeout == kMaxDword && to.ReadTotalTimeoutMultiplier == kMaxDword &&
      to.ReadTotalTimeoutConstant != 0 && to.ReadTotalTimeoutConstant != kMaxDword;
  const auto start = Clock::now();
  std::optional<Clock::time_point> total;
  if (firstByte) {
    total = start + std::chrono::milliseconds(to.ReadTotalTimeoutConstant);
  } else if (!immediate &&
             (to.ReadTotalTimeoutMultiplier != 0 || to.ReadTotalTimeoutConstant != 0)) {
    total = DeadlineAfter(
        start, TotalTimeoutMs(to.ReadTotalTimeoutMultiplier, Count, to.ReadTotalTimeoutConstant));
  }
  const bool interval = to.ReadIntervalTimeout != 0 && to.ReadIntervalTimeout != kMaxDword;
  Clock::time_point lastByte = start;

  auto* out = static_cast<std::uint8_t*>(Buffer);
  std::unique_ptr<Reader> reader;
  struct Unregister {
    PosixSerialDevice* self;
    Reader* r;
    ~Unregister() {
      if (r == nullptr) return;
      std::lock_guard lock(self->inputMutex_);
      self->readers_.remove(r);
    }
  } unregister{this, nullptr};

  for (;;) {
    {
      std::lock_guard lock(inputMutex_);
      if (reader && reader->aborted) return Fail(ECANCELED);
      const std::size_t before = ReadCount;
      if (!TakeInput(out, Count, ReadCount, capacity)) return false;
      if (ReadCount > before) lastByte = Clock::now();
    }
    if (ReadCount == Count || immediate || (firstByte && ReadCount > 0)) return true;

    int timeout = -1;
    if (total) timeout = MsUntil(*total);
    if (interval && ReadCount > 0)
      timeout =
          Earliest(timeout, MsUntil(lastByte + std::chrono::milliseconds(to.ReadIntervalTimeout)));
    if (timeout == 0) return true;  // a time-out ends a read successfully, with what came

    if (!reader) {
      // Registered before looking again, so that input the event wait buffers meanwhile
      // wakes this reader.
      try {
        reader = std::make_unique<Reader>();
      } catch (const SystemException& e) {
        return Fail(static_cast<int>(e.Code()));
      } catch (const std::bad_alloc&) {
        return Fail(ENOMEM);
      }
      std::lock_guard lock(inputMutex_);
      readers_.push_back(reader.get());
      unregister.r = reader.get();
      continue;
    }
    pollfd p[3] = {{fd_, POLLIN, 0},
                   {static_cast<int>(closeWake_.Native()), POLLIN, 0},
                   {static_cast<int>(reader->wake.Native()), POLLIN, 0}};
    if (::poll(p, 3, timeout) < 0 && errno != EINTR) return false;
    reader->wake.Reset();
    if (closed_.load()) return Fail(EBADF);
  }
}

void PosixSerialDevice::WatchInput(bool Value) {
  if (Value) {
    inputWatched_.store(true);
    return;
  }
  if (inputWatched_.exchange(false) && eventWaitBlind_.load()) eventWake_.Signal();
}

bool PosixSerialDevice::WaitCommEvent(std::uint32_t& Events, NativeHandle WakeFd) {
  Events = 0;
  auto use = Use();
  if (!use) return false;
  std::uint32_t mask, generation, baud;
  std::size_t capacity;
  {
    std::lock_guard lock(stateMutex_);
    mask = mask_;
    generation = maskGeneration_;
    capacity = inQueue_;
    baud = std::max<std::uint32_t>(dcb_.BaudRate, 50);
  }
  const bool wantsInput = (mask & (EV_RXCHAR | EV_RXFLAG | EV_RX80FULL)) != 0;
  bool watchLines = (mask & (EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_BREAK | EV_ERR)) != 0;
  const std::size_t nearlyFull = capacity - capacity / 5;

  struct Sighted {
    std::atomic<bool>& blind;
    ~Sighted() { blind.store(false); }
  } sighted{eventWaitBlind_};
  for (;;) {
    if (closed_.load()) return Fail(EBADF);
    {
      std::lock_guard lock(stateMutex_);
      if (maskGeneration_ != generation) return true;  // SetCommMask ends the wait
    }
    // Announced before looking, so that a watcher handing the input back either is seen here
    // or sees this and wakes the wait.
    eventWaitBlind_.store(wantsInput);
    const bool lookAtInput = wantsInput && !inputWatched_.load();
    if (lookAtInput) eventWaitBlind_.store(false);
    std::uint32_t events = 0;
    bool inputFull = false;
    if (lookAtInput) {
      std::lock_guard lock(inputMutex_);
      const std::size_t before = input_.size();
      bool sawEventChar = false;
      const long n = PullInput(sawEventChar);
      if (n < 0) return false;  // the connection is lost
      if (n > 0) {
        events |= EV_RXCHAR;
        if (sawEventChar) events |= EV_RXFLAG;
        if (before < nearlyFull && input_.size() >= nearlyFull) events |= EV_RX80FULL;
      }
      inputFull = input_.size() >= capacity;
    }
    int timeout = -1;
    std::int64_t txLeftNs = -1;  // finer than the millisecond time-outs: a character is µs
    // Taken before looking, so that a drain after the look leaves it set for the next one.
    if ((mask & EV_TXEMPTY) != 0 && txPending_.exchange(false)) {
      int queued = 0;
      if (!output_->Idle()) {
        drainAwaited_.store(true);  // first: a drain seeing txPending_ set then signals
        txPending_.store(true);     // the queue's drain signals
      } else if (::ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0) {
        txPending_.store(true);
        timeout = static_cast<int>(std::clamp<std::uint64_t>(queued * 10000ull / baud, 1, 100));
      } else if (const std::int64_t left = TransmitterBusyFor(); left > 0) {
        txPending_.store(true);
        txLeftNs = left;
      } else {
        events |= EV_TXEMPTY;
      }
    }
    if (watchLines) {
      const auto lines = ModemLines();
      const auto counters = ReadCounters();
      if (!lines && !counters) {
        watchLines = false;  // nothing to watch on this device
      } else {
        std::lock_guard lock(stateMutex_);
        if (lines) {
          const std::uint32_t changed = *lines ^ eventLines_;
          if ((changed & TIOCM_CTS) != 0) events |= EV_CTS;
          if ((changed & TIOCM_DSR) != 0) events |= EV_DSR;
          if ((changed & TIOCM_CD) != 0) events |= EV_RLSD;
          if ((changed & *lines & TIOCM_RNG) != 0) events |= EV_RING;
          eventLines_ = *lines;
        }
        if (counters) {
          if (counters->brk != eventBase_.brk) events |= EV_BREAK;
          if (counters->frame != eventBase_.frame || counters->overrun != eventBase_.overrun ||
              counters->parity != eventBase_.parity)
            events |= EV_ERR;
          eventBase_ = *counters;
        }
        timeout = Earliest(timeout, kLinePollMs);
      }
    }
    events &= mask;
    if (events != 0) {
      Events = events;
      return true;
    }

    pollfd p[4] = {{fd_, static_cast<short>(lookAtInput && !inputFull ? POLLIN : 0), 0},
                   {static_cast<int>(closeWake_.Native()), POLLIN, 0},
                   {static_cast<int>(eventWake_.Native()), POLLIN, 0},
                   {static_cast<int>(WakeFd), POLLIN, 0}};
    const nfds_t count = WakeFd >= 0 ? 4 : 3;
    timespec limit{};
    const timespec* limitPtr = nullptr;
    if (txLeftNs >= 0 && (timeout < 0 || txLeftNs < timeout * 1'000'000ll)) {
      limit = {static_cast<time_t>(txLeftNs / 1'000'000'000),
               static_cast<long>(txLeftNs % 1'000'000'000)};
      limitPtr = &limit;
    } else if (timeout >= 0) {
      limit = {timeout / 1000, (timeout % 1000) * 1'000'000l};
      limitPtr = &limit;
    }
    if (::ppoll(p, count, limitPtr, nullptr) < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (count == 4 && (p[3].revents & POLLIN) != 0) return true;  // the caller's wake-up
    if ((p[2].revents & POLLIN) != 0) eventWake_.Reset();
    // A hang-up with input still waiting is reported once the input has been taken.
    if ((p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 && (p[0].revents & POLLIN) == 0)
      return Fail(EIO);
  }
}

}  // namespace sk::platform::posix
