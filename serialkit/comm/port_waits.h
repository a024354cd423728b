#pragma once
// The threads waiting in a port's WaitForBytes or WaitForSignal. Every port event and the
// port's close wake them all, so that a wait blocks on its thread's queue until something may
// have changed instead of looking again every few milliseconds.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "serialkit/platform/application.h"

namespace sk {

class TPortWaits {
 public:
  explicit TPortWaits(platform::TApplication& App) : app_(App) {}
  TPortWaits(const TPortWaits&) = delete;
  TPortWaits& operator=(const TPortWaits&) = delete;

  // Thread waits until the matching Remove; Events are the port events its wait needs the
  // device to report. A thread may wait more than once at a time (a wait inside a handler
  // that another wait serves).
  void Add(platform::TThreadID Thread, std::uint32_t Events);
  void Remove(platform::TThreadID Thread);
  // The events that the waits need, all of them together.
  std::uint32_t Events() const { return events_.load(std::memory_order_acquire); }
  // Wakes every waiting thread; next to nothing when none waits.
  void WakeAll() noexcept;

 private:
  struct Waiter {
    platform::TThreadID thread;
    std::uint32_t events;
  };
  void UpdateEvents();  // with mutex_ held

  platform::TApplication& app_;
  mutable std::mutex mutex_;
  std::vector<Waiter> waiters_;
  std::atomic<std::uint32_t> events_{0};
  std::atomic<bool> any_{false};
};

}  // namespace sk
