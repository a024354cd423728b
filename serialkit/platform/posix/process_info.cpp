#include "serialkit/platform/process_info.h"

#include <unistd.h>

#include <string_view>
#include <vector>

namespace sk::platform {

namespace {

std::string ReadExecutableLink() {
  std::vector<char> buffer(256);
  for (;;) {
    ssize_t got = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (got < 0) return "";
    if (static_cast<std::size_t>(got) < buffer.size()) {
      std::string path(buffer.data(), static_cast<std::size_t>(got));
      // A program file replaced while running still names its old path.
      constexpr std::string_view deleted = " (deleted)";
      if (path.ends_with(deleted)) path.resize(path.size() - deleted.size());
      return path;
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::string ExecutablePath() {
  // The executable does not move while the program runs.
  static const std::string path = ReadExecutableLink();
  return path;
}

}  // namespace sk::platform
