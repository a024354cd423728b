#include "serialkit/platform/config_dialog.h"

namespace sk::platform {

// There is no system-wide port dialog here: only an installed hook can show one.
bool PlatformCommConfigDialog(const std::string&, COMMCONFIG&) {
  return false;
}

}  // namespace sk::platform
