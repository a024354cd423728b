#include "serialkit/platform/process_info.h"

#include <windows.h>

#include <vector>

#include "serialkit/platform/win32/utf16.h"

namespace sk::platform {

namespace {

std::string ReadModuleFileName() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD got = ::GetModuleFileNameW(nullptr, buffer.data(), size);
    if (got == 0) return "";
    // A path that did not fit comes back cut off at the buffer's size.
    if (got < size) return win32::FromUtf16(std::wstring_view(buffer.data(), got));
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::string ExecutablePath() {
  static const std::string path = ReadModuleFileName();
  return path;
}

}  // namespace sk::platform
