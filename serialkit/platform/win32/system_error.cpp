#include "serialkit/platform/system_error.h"

#include <windows.h>

#include "serialkit/platform/win32/utf16.h"

namespace sk::platform {

std::uint32_t LastError() {
  return ::GetLastError();
}

void SetLastError(std::uint32_t Code) {
  ::SetLastError(Code);
}

std::string SystemErrorText(std::uint32_t Code) {
  wchar_t* buffer = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, Code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text(buffer != nullptr ? buffer : L"", n);
  if (buffer != nullptr) ::LocalFree(buffer);
  // The system's texts end in a line break; the callers put them inside their own lines.
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
    text.pop_back();
  return win32::FromUtf16(text);
}

std::uint32_t SystemErrorCode(TSystemError Error) {
  switch (Error) {
    case TSystemError::InvalidHandle:
      return ERROR_INVALID_HANDLE;
    case TSystemError::DeviceLost:
      return ERROR_DEVICE_NOT_CONNECTED;
  }
  return ERROR_INVALID_PARAMETER;
}

}  // namespace sk::platform
