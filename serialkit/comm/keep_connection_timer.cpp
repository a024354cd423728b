#include "serialkit/comm/keep_connection_timer.h"

#include "serialkit/comm/timer.h"

namespace sk {

TskKeepConnectionTimer::TskKeepConnectionTimer(platform::TApplication& App, TNotifyEvent OnTimer)
    : app_(App), onTimer_(std::move(OnTimer)) {}

TskKeepConnectionTimer::~TskKeepConnectionTimer() {
  Release();
}

void TskKeepConnectionTimer::Start() {
  std::lock_guard lock(mutex_);
  if (!timerKeepConnection) {
    timerKeepConnection = std::make_unique<TskTimer>(app_);
    timerKeepConnection->SetInterval(kIntervalMs);
    timerKeepConnection->SetOnTimer(onTimer_);
  }
  timerKeepConnection->SetEnabled(true);
}

void TskKeepConnectionTimer::Stop() {
  std::lock_guard lock(mutex_);
  if (timerKeepConnection) timerKeepConnection->SetEnabled(false);
}

bool TskKeepConnectionTimer::Enabled() const {
  std::lock_guard lock(mutex_);
  return timerKeepConnection && timerKeepConnection->Enabled();
}

void TskKeepConnectionTimer::Release() {
  std::unique_ptr<TskTimer> timer;
  {
    std::lock_guard lock(mutex_);
    timer = std::move(timerKeepConnection);
  }
  // Outside the lock: destroying the timer waits for a tick running in another thread, and
  // that tick stops the timer through this.
  if (timer) timer->SetEnabled(false);
}

}  // namespace sk
