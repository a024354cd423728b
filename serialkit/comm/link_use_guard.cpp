#include "serialkit/comm/link_use_guard.h"

#include <algorithm>

namespace sk {

void TskLinkUseGuard::Acquire() {
  std::lock_guard lock(mutex_);
  users_.push_back(platform::CurrentThreadId());
}

void TskLinkUseGuard::Release() {
  std::vector<platform::TThreadID> waiters;
  {
    std::lock_guard lock(mutex_);
    auto it = std::find(users_.begin(), users_.end(), platform::CurrentThreadId());
    if (it != users_.end()) users_.erase(it);
    waiters = waiters_;
  }
  for (platform::TThreadID w : waiters) app_.WakeUp(w);
}

void TskLinkUseGuard::WaitForOthers() {
  const platform::TThreadID self = platform::CurrentThreadId();
  auto othersInside = [&] {
    std::lock_guard lock(mutex_);
    return std::any_of(users_.begin(), users_.end(),
                       [&](platform::TThreadID t) { return t != self; });
  };
  if (!othersInside()) return;
  {
    std::lock_guard lock(mutex_);
    waiters_.push_back(self);
  }
  app_.WaitServing([&] { return !othersInside(); });
  std::lock_guard lock(mutex_);
  waiters_.erase(std::find(waiters_.begin(), waiters_.end(), self));
}

}  // namespace sk
