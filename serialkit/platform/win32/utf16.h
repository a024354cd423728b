#pragma once
// Text crosses the Win32 interface as UTF-16; the rest of the program holds UTF-8.
#include <string>
#include <string_view>

namespace sk::platform::win32 {

std::wstring ToUtf16(std::string_view Text);
std::string FromUtf16(std::wstring_view Text);

}  // namespace sk::platform::win32
