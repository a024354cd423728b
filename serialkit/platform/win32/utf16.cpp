#include "serialkit/platform/win32/utf16.h"

#include <windows.h>

namespace sk::platform::win32 {

std::wstring ToUtf16(std::string_view Text) {
  if (Text.empty()) return {};
  const int size = static_cast<int>(Text.size());
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, Text.data(), size, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, Text.data(), size, out.data(), n);
  return out;
}

std::string FromUtf16(std::wstring_view Text) {
  if (Text.empty()) return {};
  const int size = static_cast<int>(Text.size());
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, Text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, Text.data(), size, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace sk::platform::win32
