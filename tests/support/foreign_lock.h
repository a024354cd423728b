#pragma once
// Another process holding a flock on a file until released.
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
