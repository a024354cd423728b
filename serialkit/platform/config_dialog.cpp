#include "serialkit/platform/config_dialog.h"

#include <mutex>

namespace sk::platform {

namespace {

struct HookSlot {
  std::mutex mutex;
  ConfigDialogHook hook;
};

HookSlot& Slot() {
  static HookSlot slot;
  return slot;
}

}  // namespace

ConfigDialogHook SetConfigDialogHook(ConfigDialogHook Hook) {
  HookSlot& slot = Slot();
  std::lock_guard lock(slot.mutex);
  std::swap(slot.hook, Hook);
  return Hook;
}

bool CommConfigDialog(const std::string& Name, COMMCONFIG& Config) {
  ConfigDialogHook hook;
  {
    HookSlot& slot = Slot();
    std::lock_guard lock(slot.mutex);
    hook = slot.hook;
  }
  // The copy runs unlocked: a modal dialog may take as long as the operator likes.
  COMMCONFIG edited = Config;
  const bool confirmed = hook ? hook(Name, edited) : PlatformCommConfigDialog(Name, edited);
  if (confirmed) Config = edited;
  return confirmed;
}

}  // namespace sk::platform
