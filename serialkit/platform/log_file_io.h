#pragma once
// A file opened for reading and writing in place, locked against other writers for as long as it
// stays open, so that two programs sharing one log file never rewrite it at the same time.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "serialkit/platform/native_handle.h"

namespace sk::platform {

// Who else may have the file open while we hold it.
enum class FileSharing {
  None,  // nobody that locks it, readers included
  Read,  // readers that take a shared lock; still no other writer
};

class LockedFile {
 public:
  // Opens Path for reading and writing, creating it if missing. Fails (nullopt, errno kept) when
  // it cannot be opened or another opener holds it in a way Sharing does not allow.
  static std::optional<LockedFile> Open(const std::string& Path, FileSharing Sharing);

  LockedFile(LockedFile&& Other) noexcept;
  LockedFile& operator=(LockedFile&& Other) noexcept;
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;
  ~LockedFile();

  std::optional<std::uint64_t> Size() const;
  bool Seek(std::uint64_t Offset);
  bool SeekToEnd();
  // Exactly Count bytes from the current position, or failure.
  bool Read(void* Data, std::size_t Count);
  // All Count bytes at the current position, or failure.
  bool Write(const void* Data, std::size_t Count);
  // Cuts the file off at the current position.
  bool TruncateHere();
  // Closes now, reporting a failure that only shows at closing (delayed write errors).
  bool Close();

 private:
  explicit LockedFile(NativeHandle Handle) : handle_(Handle) {}
  NativeHandle handle_ = kNoNativeHandle;
};

// Deletes Path unless another opener holds it locked. True when the file is gone afterwards.
bool DeleteUnlockedFile(const std::string& Path);

}  // namespace sk::platform
