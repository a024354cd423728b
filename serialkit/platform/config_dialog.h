#pragma once
// The port configuration dialog: "edit this configuration for port Name, owned by the
// foreground window; confirmed or cancelled". A program with a window system installs a hook
// that shows its dialog; without one the platform's own dialog is used, and where the
// platform has none (a console program here) the answer is "cancelled".
#include <functional>
#include <string>

#include "serialkit/platform/serial_records.h"

namespace sk::platform {

// Edits Config in place for the port Name; true when the operator confirmed. A cancelled
// dialog leaves Config as it was.
using ConfigDialogHook = std::function<bool(const std::string& Name, COMMCONFIG& Config)>;

// Installs Hook for the whole process (an empty one removes it); the previous hook is the
// result. Not meant to be changed while a dialog is showing.
ConfigDialogHook SetConfigDialogHook(ConfigDialogHook Hook);

// Runs the installed hook, else the platform's dialog; false when cancelled.
bool CommConfigDialog(const std::string& Name, COMMCONFIG& Config);

// The platform's own dialog; on a platform without one, false at once.
bool PlatformCommConfigDialog(const std::string& Name, COMMCONFIG& Config);

}  // namespace sk::platform
