#include "platform/posix/sysfs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "platform/port_numbering.h"

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

std::optional<std::string> ReadAttribute(const std::string& Path) {
  // Non-blocking, so that a FIFO planted in a tree cannot hold the reader.
  const int fd = ::open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
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
    const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  text.resize(got);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.pop_back();
  if (text.find('\0') != std::string::npos || !IsUtf8(text)) return std::nullopt;
  return text;
}

std::string Attribute(const std::string& Path) {
  return ReadAttribute(Path).value_or(std::string());
}

std::string LinkTargetName(const std::string& Path) {
  char target[4096];
  const ssize_t n = ::readlink(Path.c_str(), target, sizeof target);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target) return {};
  std::string t(target, static_cast<std::size_t>(n));
  while (!t.empty() && t.back() == '/') t.pop_back();
  const auto slash = t.rfind('/');
  return slash == std::string::npos ? t : t.substr(slash + 1);
}

std::optional<std::string> Resolve(const std::string& Path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(Path.c_str(), nullptr), &std::free);
  if (!real) return std::nullopt;
  return std::string(real.get());
}

bool Exists(const std::string& Path) {
  struct stat st {};
  return ::stat(Path.c_str(), &st) == 0;
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

std::vector<std::string> SerialTtyNames(const std::string& SysRoot) {
  const std::string classDir = SysRoot + "/class/tty/";
  std::vector<std::string> serial;
  for (const std::string& name : FolderNames(classDir)) {
    const TtyKind kind = SplitTtyName(name);
    if (!kind.Number) continue;
    const std::string dir = classDir + name;
    if (kind.Kind == "rfcomm") {
      serial.push_back(name);  // a bound Bluetooth link has no bus device
    } else if (!Exists(dir + "/device")) {
      continue;
    } else if (kind.Kind == "ttyS") {
      const auto type = ReadAttribute(dir + "/type");
      if (type && !type->empty() && *type != "0" &&
          std::all_of(type->begin(), type->end(), [](char c) { return c >= '0' && c <= '9'; }))
        serial.push_back(name);
    } else if (kind.Kind != "tty" && kind.Kind != "pty" && kind.Kind != "ttyp" &&
               kind.Kind != "ptyp") {
      serial.push_back(name);
    }
  }
  return serial;
}

}  // namespace sk::platform::sysfs
