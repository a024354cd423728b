#include "serialkit/platform/posix/sysfs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "serialkit/discovery/port_numbering.h"

namespace sk::platform::sysfs {

namespace {

bool IsUtf8(const std::string& S) {
  std::size_t i = 0;
  while (i < S.size()) {
    const auto c = static_cast<unsigned char>(S[i]);
    std::size_t more;
    std::uint32_t min;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      more = 1, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      more = 2, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      more = 3, min = 0x10000;
    } else {
      return false;
    }
    if (i + more >= S.size()) return false;
    std::uint32_t cp = c & (0x3F >> more);
    for (std::size_t k = 1; k <= more; ++k) {
      const auto d = static_cast<unsigned char>(S[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = cp << 6 | (d & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += more + 1;
  }
  return true;
}

}  // namespace

Dir::Dir(const std::string& Path)
    : fd_(::open(Path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)), path_(Path) {}

Dir::Dir(const Dir& At, const std::string& Name)
    : fd_(::openat(At.fd_, Name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)),
      path_(!Name.empty() && Name.front() == '/' ? Name : At.path_ + "/" + Name) {}

Dir::~Dir() {
  if (fd_ >= 0) ::close(fd_);
}

Dir::Dir(Dir&& Other) noexcept : fd_(Other.fd_), path_(std::move(Other.path_)) {
  Other.fd_ = -1;
}

Dir& Dir::operator=(Dir&& Other) noexcept {
  if (this != &Other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = Other.fd_;
    path_ = std::move(Other.path_);
    Other.fd_ = -1;
  }
  return *this;
}

int Dir::Fd() const {
  return fd_;
}

std::optional<std::string> Dir::ResolvedPath() const {
  if (fd_ < 0) return std::nullopt;
  // The kernel's own record of the open directory: one call, where resolving the path
  // name by name costs a lookup of the whole prefix for each of its parts.
  char target[4096];
  const std::string self = "/proc/self/fd/" + std::to_string(fd_);
  const ssize_t n = ::readlink(self.c_str(), target, sizeof target);
  if (n > 0 && static_cast<std::size_t>(n) < sizeof target && target[0] == '/') {
    std::string path(target, static_cast<std::size_t>(n));
    constexpr std::string_view kDeleted = " (deleted)";
    if (!path.ends_with(kDeleted)) return path;
  }
  return Resolve(path_);  // no /proc here
}

std::uintptr_t Dir::Inode() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return 0;
  return static_cast<std::uintptr_t>(st.st_ino);
}

namespace {

std::optional<std::string> ReadAttributeAt(int At, const char* Name) {
  // Non-blocking, so that a FIFO planted in a tree cannot hold the reader.
  const int fd = ::openat(At, Name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  std::string text(kAttributeLimit, '\0');
  std::size_t got = 0;
  while (got < text.size()) {
    const std::size_t wanted = text.size() - got;
    const ssize_t n = ::read(fd, text.data() + got, wanted);
    if (n < 0) return std::nullopt;
    got += static_cast<std::size_t>(n);
    // A regular file reads short only at its end: no second call to learn that.
    if (static_cast<std::size_t>(n) < wanted) break;
  }
  text.resize(got);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.pop_back();
  if (text.find('\0') != std::string::npos || !IsUtf8(text)) return std::nullopt;
  return text;
}

std::string LinkTargetNameAt(int At, const char* Name) {
  char target[4096];
  const ssize_t n = ::readlinkat(At, Name, target, sizeof target);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target) return {};
  std::string t(target, static_cast<std::size_t>(n));
  while (!t.empty() && t.back() == '/') t.pop_back();
  const auto slash = t.rfind('/');
  return slash == std::string::npos ? t : t.substr(slash + 1);
}

bool ExistsAt(int At, const char* Name) {
  struct stat st {};
  return ::fstatat(At, Name, &st, 0) == 0;
}

}  // namespace

std::optional<std::string> ReadAttribute(const Dir& At, const std::string& Name) {
  return ReadAttributeAt(At.Fd(), Name.c_str());
}

std::optional<std::string> ReadAttribute(const std::string& Path) {
  return ReadAttributeAt(AT_FDCWD, Path.c_str());
}

std::string Attribute(const Dir& At, const std::string& Name) {
  return ReadAttribute(At, Name).value_or(std::string());
}

std::string Attribute(const std::string& Path) {
  return ReadAttribute(Path).value_or(std::string());
}

std::string LinkTargetName(const Dir& At, const std::string& Name) {
  return LinkTargetNameAt(At.Fd(), Name.c_str());
}

std::string LinkTargetName(const std::string& Path) {
  return LinkTargetNameAt(AT_FDCWD, Path.c_str());
}

std::optional<std::string> Resolve(const std::string& Path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(Path.c_str(), nullptr), &std::free);
  if (!real) return std::nullopt;
  return std::string(real.get());
}

bool Exists(const Dir& At, const std::string& Name) {
  return ExistsAt(At.Fd(), Name.c_str());
}

bool Exists(const std::string& Path) {
  return ExistsAt(AT_FDCWD, Path.c_str());
}

std::vector<std::string> FolderNames(const std::string& Folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(Folder.c_str());
  if (dir == nullptr) return names;
  while (names.size() < kFolderLimit) {
    const dirent* e = ::readdir(dir);
    if (e == nullptr) break;
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

namespace {
thread_local TtyClassReading* tReading = nullptr;
}  // namespace

TtyClassReading::TtyClassReading() : previous_(tReading) {
  tReading = this;
}

TtyClassReading::~TtyClassReading() {
  tReading = previous_;
}

std::vector<std::string> SerialTtyNames(const std::string& SysRoot) {
  if (tReading != nullptr && tReading->root_ == SysRoot) return tReading->names_;
  const std::string classPath = SysRoot + "/class/tty/";
  const Dir classDir(classPath);
  std::vector<std::string> serial;
  if (!classDir.Valid()) return serial;
  for (const std::string& name : FolderNames(classPath)) {
    const TtyKind kind = SplitTtyName(name);
    if (!kind.Number) continue;
    if (kind.Kind == "rfcomm") {
      serial.push_back(name);  // a bound Bluetooth link has no bus device
    } else if (!Exists(classDir, name + "/device")) {
      continue;
    } else if (kind.Kind == "ttyS") {
      const auto type = ReadAttribute(classDir, name + "/type");
      if (type && !type->empty() && *type != "0" &&
          std::all_of(type->begin(), type->end(), [](char c) { return c >= '0' && c <= '9'; }))
        serial.push_back(name);
    } else if (kind.Kind != "tty" && kind.Kind != "pty" && kind.Kind != "ttyp" &&
               kind.Kind != "ptyp") {
      serial.push_back(name);
    }
  }
  if (tReading != nullptr) {
    tReading->root_ = SysRoot;
    tReading->names_ = serial;
  }
  return serial;
}

}  // namespace sk::platform::sysfs
