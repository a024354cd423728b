#include <windows.h>

#include "serialkit/platform/config_dialog.h"
#include "serialkit/platform/win32/system_records.h"
#include "serialkit/platform/win32/utf16.h"

namespace sk::platform {

// The system's dialog for the port, owned by whatever window the operator is working in.
bool PlatformCommConfigDialog(const std::string& Name, COMMCONFIG& Config) {
  ::COMMCONFIG c = win32::ToSystem(Config);
  if (::CommConfigDialogW(win32::ToUtf16(Name).c_str(), ::GetForegroundWindow(), &c)) {
    Config = win32::FromSystem(c);
    return true;
  }
  // Cancelling reports ERROR_CANCELLED; anything else stays the last error for whoever asks.
  return false;
}

}  // namespace sk::platform
