#include "serialkit/comm/link_use_guard.h"

#include <algorithm>

namespace sk {

void TskLinkUseGuard::Acquire() {
  std::lock_guard lock(fMutex);
  fUsers.push_back(platform::CurrentThreadId());
}

void TskLinkUseGuard::Release() {
  std::vector<platform::TThreadID> waiters;
  {
    std::lock_guard lock(fMutex);
    auto it = std::find(fUsers.begin(), fUsers.end(), platform::CurrentThreadId());
    if (it != fUsers.end()) fUsers.erase(it);
    waiters = fWaiters;
  }
  for (platform::TThreadID w : waiters) fApp.WakeUp(w);
}

void TskLinkUseGuard::WaitForOthers() {
  const platform::TThreadID self = platform::CurrentThreadId();
  auto othersInside = [&] {
    std::lock_guard lock(fMutex);
    return std::any_of(fUsers.begin(), fUsers.end(),
                       [&](platform::TThreadID t) { return t != self; });
  };
  if (!othersInside()) return;
  {
    std::lock_guard lock(fMutex);
    fWaiters.push_back(self);
  }
  fApp.WaitServing([&] { return !othersInside(); });
  std::lock_guard lock(fMutex);
  fWaiters.erase(std::find(fWaiters.begin(), fWaiters.end(), self));
}

}  // namespace sk
