#include "serialkit/platform/log_file_io.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "serialkit/platform/win32/utf16.h"

namespace sk::platform {

namespace {

HANDLE AsHandle(NativeHandle Handle) {
  return reinterpret_cast<HANDLE>(Handle);
}

// Pieces of at most this many bytes per call: ReadFile and WriteFile count in 32 bits.
constexpr std::size_t kMaxChunk = 1u << 30;

}  // namespace

std::optional<LockedFile> LockedFile::Open(const std::string& Path, FileSharing Sharing) {
  // The share mode is the lock: readers that ask for no write access may come in when
  // Sharing allows it, another writer never.
  const DWORD share = Sharing == FileSharing::Read ? FILE_SHARE_READ : 0;
  HANDLE h = ::CreateFileW(win32::ToUtf16(Path).c_str(), GENERIC_READ | GENERIC_WRITE, share,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  return LockedFile(reinterpret_cast<NativeHandle>(h));
}

LockedFile::LockedFile(LockedFile&& Other) noexcept
    : handle_(std::exchange(Other.handle_, kNoNativeHandle)) {}

LockedFile& LockedFile::operator=(LockedFile&& Other) noexcept {
  if (this != &Other) {
    Close();
    handle_ = std::exchange(Other.handle_, kNoNativeHandle);
  }
  return *this;
}

LockedFile::~LockedFile() {
  Close();
}

std::optional<std::uint64_t> LockedFile::Size() const {
  LARGE_INTEGER size{};
  if (handle_ == kNoNativeHandle || !::GetFileSizeEx(AsHandle(handle_), &size)) return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

bool LockedFile::Seek(std::uint64_t Offset) {
  LARGE_INTEGER to{};
  to.QuadPart = static_cast<LONGLONG>(Offset);
  return handle_ != kNoNativeHandle &&
         ::SetFilePointerEx(AsHandle(handle_), to, nullptr, FILE_BEGIN);
}

bool LockedFile::SeekToEnd() {
  return handle_ != kNoNativeHandle &&
         ::SetFilePointerEx(AsHandle(handle_), LARGE_INTEGER{}, nullptr, FILE_END);
}

bool LockedFile::Read(void* Data, std::size_t Count) {
  auto* at = static_cast<char*>(Data);
  while (Count > 0) {
    DWORD got = 0;
    const DWORD ask = static_cast<DWORD>(std::min(Count, kMaxChunk));
    if (!::ReadFile(AsHandle(handle_), at, ask, &got, nullptr) || got == 0) return false;
    at += got;
    Count -= got;
  }
  return true;
}

bool LockedFile::Write(const void* Data, std::size_t Count) {
  const auto* at = static_cast<const char*>(Data);
  while (Count > 0) {
    DWORD put = 0;
    const DWORD ask = static_cast<DWORD>(std::min(Count, kMaxChunk));
    if (!::WriteFile(AsHandle(handle_), at, ask, &put, nullptr) || put == 0) return false;
    at += put;
    Count -= put;
  }
  return true;
}

bool LockedFile::TruncateHere() {
  return handle_ != kNoNativeHandle && ::SetEndOfFile(AsHandle(handle_));
}

bool LockedFile::Close() {
  if (handle_ == kNoNativeHandle) return true;
  return ::CloseHandle(AsHandle(std::exchange(handle_, kNoNativeHandle)));
}

bool DeleteUnlockedFile(const std::string& Path) {
  // Fails with a sharing violation while anybody has the file open without allowing deletion.
  if (::DeleteFileW(win32::ToUtf16(Path).c_str())) return true;
  const DWORD error = ::GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace sk::platform
