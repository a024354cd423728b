#pragma once
// The timer that tries again to connect some time after a lost connection. Made on first use,
// by the thread that first starts it, and it ticks in that thread; started and stopped from
// whichever thread finds the connection lost or back.
#include <cstdint>
#include <memory>
#include <mutex>

#include "serialkit/core/event.h"
#include "serialkit/platform/application.h"

namespace sk {

class TskTimer;

class TskKeepConnectionTimer {
 public:
  // OnTimer runs at each tick, in the thread the timer was made in.
  TskKeepConnectionTimer(platform::TApplication& App, TNotifyEvent OnTimer);
  ~TskKeepConnectionTimer();
  TskKeepConnectionTimer(const TskKeepConnectionTimer&) = delete;
  TskKeepConnectionTimer& operator=(const TskKeepConnectionTimer&) = delete;

  static constexpr std::uint32_t kIntervalMs = 2000;

  void Start();
  void Stop();
  bool Enabled() const;
  // Stops and destroys the timer now (its owner's destruction), so that no tick comes after.
  void Release();

 private:
  platform::TApplication& app_;
  const TNotifyEvent onTimer_;
  mutable std::mutex mutex_;
  std::unique_ptr<TskTimer> timerKeepConnection;
};

}  // namespace sk
