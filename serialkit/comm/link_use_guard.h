#pragma once
// Which threads are inside a call into a linked component or a notify subscriber, so that a
// component being unlinked in another thread can wait until those calls have left it.
#include <mutex>
#include <vector>

#include "serialkit/platform/application.h"

namespace sk {

class TskLinkUseGuard {
 public:
  explicit TskLinkUseGuard(platform::TApplication& App) : app_(App) {}
  TskLinkUseGuard(const TskLinkUseGuard&) = delete;
  TskLinkUseGuard& operator=(const TskLinkUseGuard&) = delete;

  // The calling thread enters a call; uses nest.
  void Acquire();
  // It leaves one; whoever waits is woken to look again.
  void Release();
  // Waits until no other thread is inside (the calling thread's own uses do not count),
  // serving synchronized calls meanwhile.
  void WaitForOthers();

 private:
  platform::TApplication& app_;
  std::mutex mutex_;
  std::vector<platform::TThreadID> users_;
  std::vector<platform::TThreadID> waiters_;
};

}  // namespace sk
