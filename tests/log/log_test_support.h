#pragma once
// Shared helpers of the log tests: a scratch directory, whole-file reads, a sink that writes
// plain lines to a file of its own, and another process holding a file lock.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "log/log_file.h"

namespace logtest {

class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "sklog-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string File(const std::string& Name) const { return (path_ / Name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::string ReadAll(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void WriteAll(const std::string& Path, const std::string& Bytes) {
  std::ofstream(Path, std::ios::binary | std::ios::trunc) << Bytes;
}

inline bool Exists(const std::string& Path) {
  return std::filesystem::exists(Path);
}

// A sink writing unstamped lines to Path, without saving after each entry and without the
// debugger copy; the system line is already behind it, so the next line is the first pending.
inline void MakePlain(sk::TskLogFile& Sink, const std::string& Path) {
  Sink.SetOptions({});
  Sink.SetFileName(Path);
  Sink.AddSysInfo();
  Sink.Clear();
}

// The lines of a log text, each having begun with "\r\n".
inline std::vector<std::string> Lines(const std::string& Text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while ((pos = Text.find("\r\n", pos)) != std::string::npos) {
    pos += 2;
    std::size_t end = Text.find("\r\n", pos);
    lines.push_back(Text.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
  }
  return lines;
}

// Splits "[stamp] rest" into its parts; false when the line has no stamp of that shape (the
// stamp trimmed, not empty).
inline bool SplitStamp(const std::string& Line, std::string& Stamp, std::string& Rest) {
  std::size_t close = Line.find("] ");
  if (Line.empty() || Line[0] != '[' || close == std::string::npos || close < 2) return false;
  Stamp = Line.substr(1, close - 1);
  Rest = Line.substr(close + 2);
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  return !blank(Stamp.front()) && !blank(Stamp.back());
}

// Whether Stamp is "+" and three digits, the stamp of milliseconds alone.
inline bool IsMillisecondStamp(const std::string& Stamp) {
  return Stamp.size() == 4 && Stamp[0] == '+' &&
         std::all_of(Stamp.begin() + 1, Stamp.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Another process holding a flock on a file until released.
class ForeignLock {
 public:
  ForeignLock(const std::string& Path, int Mode) {
    int ready[2], release[2];
    if (pipe(ready) != 0 || pipe(release) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(release[1]);
      int fd = ::open(Path.c_str(), O_RDWR | O_CREAT, 0644);
      char ok = (fd >= 0 && flock(fd, Mode | LOCK_NB) == 0) ? 1 : 0;
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
    bool got = ::read(ready[0], &ok, 1) == 1;
    ::close(ready[0]);
    if (!got || ok != 1) {
      Release();
      throw std::runtime_error("the other process could not lock the file");
    }
  }
  ~ForeignLock() { Release(); }
  void Release() {
    if (release_ >= 0) ::close(release_);
    release_ = -1;
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
};

}  // namespace logtest
