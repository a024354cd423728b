#include <windows.h>

#include "serialkit/platform/messages.h"
#include "serialkit/platform/win32/utf16.h"

namespace sk::platform {

// The system's atom table gives the numbers, so that other programs that register the same
// names agree with this one.
std::uint32_t RegisterMessage(std::string_view Name) {
  if (Name.empty()) return 0;
  return ::RegisterWindowMessageW(win32::ToUtf16(Name).c_str());
}

}  // namespace sk::platform
