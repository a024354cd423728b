#pragma once
// A timer that ticks in the thread that created it, through that thread's message processing.
#include <cstdint>
#include <mutex>

#include "serialkit/core/component.h"
#include "serialkit/core/event.h"
#include "serialkit/platform/application.h"

namespace sk {

class TskTimer : public TObject {
 public:
  // Created enabled with an interval of 1000 ms; it ticks once OnTimer is set.
  TskTimer();
  explicit TskTimer(platform::TApplication& App);
  ~TskTimer() override;
  TskTimer(const TskTimer&) = delete;
  TskTimer& operator=(const TskTimer&) = delete;

  // The setters may be called from any thread (a data processor re-arms its timer from the
  // receive thread); ticks still arrive in the creating thread. Writing a different Enabled
  // or Interval, or any OnTimer, restarts the countdown.
  bool Enabled() const;
  void SetEnabled(bool Value);
  std::uint32_t Interval() const;
  void SetInterval(std::uint32_t Value);
  // In the thread that created the timer, while it serves its messages.
  TNotifyEvent OnTimer() const;
  void SetOnTimer(TNotifyEvent Value);

 protected:
  // One tick: OnTimer(this) while enabled.
  virtual void Timer();

 private:
  void UpdateTimer();  // with mutex_ held
  void Tick();

  platform::TApplication& app_;
  platform::TTimerID id_ = 0;
  mutable std::mutex mutex_;
  std::uint32_t FInterval = 1000;
  TNotifyEvent FOnTimer;
  bool FEnabled = true;
};

}  // namespace sk
