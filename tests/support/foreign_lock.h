#pragma once
// Another opener holding a file locked until released: on POSIX systems another process with a
// flock, on Windows another handle whose share mode keeps writers (LOCK_SH) or everybody
// (LOCK_EX) out, which the system enforces between handles of one process just as between
// processes.
#ifdef _WIN32
#include <windows.h>

#include <stdexcept>
#include <string>

inline constexpr int LOCK_SH = 1;
inline constexpr int LOCK_EX = 2;

namespace testsupport {

class ForeignLock {
 public:
  ForeignLock(const std::string& Path, int Mode) {
    const std::wstring path(Path.begin(), Path.end());  // test paths are ASCII
    const DWORD access = Mode == LOCK_EX ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    const DWORD share = Mode == LOCK_EX ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
    handle_ = ::CreateFileW(path.c_str(), access, share, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) throw std::runtime_error("could not lock the file");
  }
  ~ForeignLock() { Release(); }
  ForeignLock(const ForeignLock&) = delete;
  ForeignLock& operator=(const ForeignLock&) = delete;

  void Release() {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace testsupport
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

namespace testsupport {

class ForeignLock {
 public:
  // Mode is LOCK_SH or LOCK_EX.
  ForeignLock(const std::string& Path, int Mode) {
    int ready[2], release[2];
    if (::pipe(ready) != 0) throw std::runtime_error("pipe failed");
    if (::pipe(release) != 0) {
      ::close(ready[0]);
      ::close(ready[1]);
      throw std::runtime_error("pipe failed");
    }
    pid_ = ::fork();
    if (pid_ < 0) {
      for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
      throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(release[1]);
      int fd = ::open(Path.c_str(), O_RDWR | O_CREAT, 0644);
      char ok = (fd >= 0 && ::flock(fd, Mode | LOCK_NB) == 0) ? 1 : 0;
      if (::write(ready[1], &ok, 1) != 1) _exit(2);
      char byte;
      while (::read(release[0], &byte, 1) > 0) {
      }
      _exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    release_ = release[1];
    char ok = 0;
    const bool got = ::read(ready[0], &ok, 1) == 1;
    ::close(ready[0]);
    if (!got || ok != 1) {
      Release();
      throw std::runtime_error("the other process could not lock the file");
    }
  }
  ~ForeignLock() { Release(); }
  ForeignLock(const ForeignLock&) = delete;
  ForeignLock& operator=(const ForeignLock&) = delete;

  void Release() {
    if (release_ >= 0) ::close(release_);
    release_ = -1;
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
};

}  // namespace testsupport
#endif  // _WIN32
