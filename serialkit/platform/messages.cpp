#include "serialkit/platform/messages.h"

#include <atomic>

namespace sk::platform {

TThreadID CurrentThreadId() {
  static std::atomic<TThreadID> next{1};
  thread_local const TThreadID id = next.fetch_add(1, std::memory_order_relaxed);
  return id;
}

}  // namespace sk::platform
