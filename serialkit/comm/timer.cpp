#include "serialkit/comm/timer.h"

namespace sk {

TskTimer::TskTimer() : TskTimer(platform::Application()) {}

TskTimer::TskTimer(platform::TApplication& App) : app_(App) {
  id_ = app_.CreateTimer([this] { Tick(); });
}

TskTimer::~TskTimer() {
  {
    std::lock_guard lock(mutex_);
    FEnabled = false;
    UpdateTimer();
  }
  // Waits for a tick running in the creating thread, so that it never sees a dead timer.
  app_.DestroyTimer(id_);
}

bool TskTimer::Enabled() const {
  std::lock_guard lock(mutex_);
  return FEnabled;
}

void TskTimer::SetEnabled(bool Value) {
  std::lock_guard lock(mutex_);
  if (Value == FEnabled) return;
  FEnabled = Value;
  UpdateTimer();
}

std::uint32_t TskTimer::Interval() const {
  std::lock_guard lock(mutex_);
  return FInterval;
}

void TskTimer::SetInterval(std::uint32_t Value) {
  std::lock_guard lock(mutex_);
  if (Value == FInterval) return;
  FInterval = Value;
  UpdateTimer();
}

TNotifyEvent TskTimer::OnTimer() const {
  std::lock_guard lock(mutex_);
  return FOnTimer;
}

void TskTimer::SetOnTimer(TNotifyEvent Value) {
  std::lock_guard lock(mutex_);
  FOnTimer = std::move(Value);
  UpdateTimer();
}

void TskTimer::UpdateTimer() {
  const bool armed = FInterval != 0 && FEnabled && static_cast<bool>(FOnTimer);
  app_.SetTimer(id_, armed ? FInterval : 0);
}

void TskTimer::Timer() {
  TNotifyEvent handler;
  {
    std::lock_guard lock(mutex_);
    if (!FEnabled || !FOnTimer) return;
    handler = FOnTimer;
  }
  handler(this);
}

void TskTimer::Tick() {
  // A failing handler must not end the thread's message processing.
  try {
    Timer();
  } catch (...) {
    app_.ShowException();
  }
}

}  // namespace sk
