// A fiber-local slot with a callback: the system calls it as each thread ends, with that
// thread's list. The compiler's thread_local destructors are not used for this, since the
// runtime may free their storage before they run.
#include "serialkit/platform/thread_exit.h"

#include <windows.h>

#include <memory>
#include <vector>

#include "serialkit/core/exception.h"
#include "serialkit/platform/system_error.h"

namespace sk::platform {

namespace {

using ExitList = std::vector<std::function<void()>>;

void WINAPI RunExitList(void* Data) {
  std::unique_ptr<ExitList> list(static_cast<ExitList*>(Data));
  if (list)
    for (auto& fn : *list) fn();
}

DWORD ExitSlot() {
  static const DWORD slot = [] {
    const DWORD s = ::FlsAlloc(RunExitList);
    if (s == FLS_OUT_OF_INDEXES) {
      const DWORD error = ::GetLastError();
      throw SystemException("FlsAlloc: " + SystemErrorText(error), error);
    }
    return s;
  }();
  return slot;
}

}  // namespace

void AtThreadExit(std::function<void()> Fn) {
  const DWORD slot = ExitSlot();
  auto* list = static_cast<ExitList*>(::FlsGetValue(slot));
  if (list == nullptr) {
    auto made = std::make_unique<ExitList>();
    if (!::FlsSetValue(slot, made.get())) {
      const DWORD error = ::GetLastError();
      throw SystemException("FlsSetValue: " + SystemErrorText(error), error);
    }
    list = made.release();  // the slot owns it now; RunExitList gives it back
  }
  list->push_back(std::move(Fn));
}

}  // namespace sk::platform
