#include <map>
#include <mutex>
#include <string>

#include "serialkit/platform/messages.h"

// The process's own table of message names: there is no system-wide one to ask.
namespace sk::platform {

namespace {

struct CaseInsensitiveLess {
  static char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  bool operator()(const std::string& a, const std::string& b) const {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
      const char x = Lower(a[i]), y = Lower(b[i]);
      if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    return a.size() < b.size();
  }
};

struct MessageTable {
  std::mutex mutex;
  std::map<std::string, std::uint32_t, CaseInsensitiveLess> numbers;
  std::uint32_t next = kFirstRegisteredMessage;
};

MessageTable& Table() {
  static MessageTable table;
  return table;
}

}  // namespace

std::uint32_t RegisterMessage(std::string_view Name) {
  if (Name.empty()) return 0;
  MessageTable& t = Table();
  std::lock_guard lock(t.mutex);
  std::string key(Name);
  if (auto it = t.numbers.find(key); it != t.numbers.end()) return it->second;
  if (t.next > kLastRegisteredMessage) return 0;
  const std::uint32_t number = t.next++;
  t.numbers.emplace(std::move(key), number);
  return number;
}

}  // namespace sk::platform
