#include "serialkit/platform/debug_output.h"

#include <windows.h>

#include "serialkit/platform/win32/utf16.h"

namespace sk::platform {

void DebugOutput(const std::string& Text) {
  ::OutputDebugStringW(win32::ToUtf16(Text).c_str());
}

}  // namespace sk::platform
