#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "serialkit/platform/log_file_io.h"

namespace sk::platform {

namespace {

// Readers and writers meet on flock: a writer that shares reading takes the shared lock, one
// that shares nothing the exclusive lock. Writers keep each other out through an open-file-
// description write lock on the whole file as well, which no shared flock can get past.
bool LockForWriting(int fd, FileSharing Sharing) {
  int mode = (Sharing == FileSharing::Read ? LOCK_SH : LOCK_EX) | LOCK_NB;
  if (flock(fd, mode) != 0) return false;
  struct flock range {};
  range.l_type = F_WRLCK;
  range.l_whence = SEEK_SET;
  range.l_start = 0;
  range.l_len = 0;  // to the end, however far the file grows
  return fcntl(fd, F_OFD_SETLK, &range) == 0;
}

// Whether fd still is the file that Path names (it may have been deleted or replaced between
// opening and locking).
bool StillNamedBy(int fd, const std::string& Path) {
  struct stat opened {
  }, named{};
  if (fstat(fd, &opened) != 0 || stat(Path.c_str(), &named) != 0) return false;
  return opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

void CloseKeepingErrno(int fd) {
  int saved = errno;
  ::close(fd);
  errno = saved;
}

}  // namespace

std::optional<LockedFile> LockedFile::Open(const std::string& Path, FileSharing Sharing) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    int fd = ::open(Path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return std::nullopt;
    if (!LockForWriting(fd, Sharing)) {
      CloseKeepingErrno(fd);
      return std::nullopt;
    }
    if (StillNamedBy(fd, Path)) return LockedFile(fd);
    ::close(fd);
  }
  errno = EBUSY;
  return std::nullopt;
}

LockedFile::LockedFile(LockedFile&& Other) noexcept : handle_(std::exchange(Other.handle_, -1)) {}

LockedFile& LockedFile::operator=(LockedFile&& Other) noexcept {
  if (this != &Other) {
    Close();
    handle_ = std::exchange(Other.handle_, -1);
  }
  return *this;
}

LockedFile::~LockedFile() {
  Close();
}

std::optional<std::uint64_t> LockedFile::Size() const {
  struct stat info {};
  if (handle_ < 0 || fstat(handle_, &info) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(info.st_size);
}

bool LockedFile::Seek(std::uint64_t Offset) {
  return handle_ >= 0 && lseek(handle_, static_cast<off_t>(Offset), SEEK_SET) >= 0;
}

bool LockedFile::SeekToEnd() {
  return handle_ >= 0 && lseek(handle_, 0, SEEK_END) >= 0;
}

bool LockedFile::Read(void* Data, std::size_t Count) {
  auto* at = static_cast<char*>(Data);
  while (Count > 0) {
    ssize_t got = ::read(handle_, at, Count);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    at += got;
    Count -= static_cast<std::size_t>(got);
  }
  return true;
}

bool LockedFile::Write(const void* Data, std::size_t Count) {
  const auto* at = static_cast<const char*>(Data);
  while (Count > 0) {
    ssize_t put = ::write(handle_, at, Count);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    at += put;
    Count -= static_cast<std::size_t>(put);
  }
  return true;
}

bool LockedFile::TruncateHere() {
  off_t here = handle_ >= 0 ? lseek(handle_, 0, SEEK_CUR) : -1;
  return here >= 0 && ftruncate(handle_, here) == 0;
}

bool LockedFile::Close() {
  if (handle_ < 0) return true;
  // Closing drops both locks.
  return ::close(std::exchange(handle_, -1)) == 0;
}

bool DeleteUnlockedFile(const std::string& Path) {
  int fd = ::open(Path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return true;
    // Not ours to open (permissions): the directory decides whether it may go.
    return ::unlink(Path.c_str()) == 0;
  }
  bool free = LockForWriting(fd, FileSharing::None);
  bool gone = free && ::unlink(Path.c_str()) == 0;
  ::close(fd);
  return gone;
}

}  // namespace sk::platform
