#pragma once
// UTF-8 text of the loader and the shared window logic to and from the system's UTF-16.
#include <windows.h>

#include <string>
#include <string_view>

namespace bootshell::win32 {

inline std::wstring Wide(std::string_view Utf8) {
  if (Utf8.empty()) return {};
  const int n =
      ::MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), static_cast<int>(Utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), static_cast<int>(Utf8.size()), out.data(), n);
  return out;
}

inline std::string Utf8(std::wstring_view Text) {
  if (Text.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()),
                                      nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), out.data(), n,
                        nullptr, nullptr);
  return out;
}

// A window's text as UTF-8.
inline std::string WindowText(HWND Window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(Window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      ::GetWindowTextW(Window, text.data(), static_cast<int>(text.size()))));
  return Utf8(text);
}

}  // namespace bootshell::win32
