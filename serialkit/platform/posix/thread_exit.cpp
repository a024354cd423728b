#include "serialkit/platform/thread_exit.h"

#include <vector>

namespace sk::platform {

namespace {

// The C library runs the destructors of thread_local objects while the thread's storage is
// still valid.
struct ExitList {
  std::vector<std::function<void()>> fns;
  ~ExitList() {
    for (auto& fn : fns) fn();
  }
};

}  // namespace

void AtThreadExit(std::function<void()> Fn) {
  thread_local ExitList list;
  list.fns.push_back(std::move(Fn));
}

}  // namespace sk::platform
