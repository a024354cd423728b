#include "serialkit/discovery/port_numbering.h"

#include "serialkit/platform/port_map.h"

#include <algorithm>
#include <cctype>
#include <tuple>

namespace sk::platform {

TtyKind SplitTtyName(const std::string& Name) {
  std::size_t i = Name.size();
  while (i > 0 && std::isdigit(static_cast<unsigned char>(Name[i - 1]))) --i;
  if (i == Name.size() || Name.size() - i > 9) return {Name, std::nullopt};
  return {Name.substr(0, i), static_cast<std::uint32_t>(std::stoul(Name.substr(i)))};
}

std::vector<NumberedTty> NumberSerialTtys(const std::vector<std::string>& Names) {
  struct Found {
    int rank;  // kinds with a fixed base first, then the others
    std::string kind;
    std::uint32_t number;
    const std::string* name;
  };
  std::vector<Found> found;
  for (const std::string& name : Names) {
    const TtyKind k = SplitTtyName(name);
    if (!k.Number) continue;
    const bool fixed =
        k.Kind == "ttyS" || k.Kind == "ttyUSB" || k.Kind == "ttyACM" || k.Kind == "rfcomm";
    found.push_back({fixed ? 0 : 1, k.Kind, *k.Number, &name});
  }
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    return std::tie(a.rank, a.kind, a.number) < std::tie(b.rank, b.kind, b.number);
  });
  std::vector<NumberedTty> numbered;
  std::uint32_t other = 0;
  for (const Found& f : found) {
    std::uint32_t port;
    if (f.kind == "ttyS")
      port = 1 + f.number;
    else if (f.kind == "ttyUSB")
      port = 33 + f.number;
    else if (f.kind == "ttyACM")
      port = 65 + f.number;
    else if (f.kind == "rfcomm")
      port = 97 + f.number;
    else
      port = 129 + other++;
    numbered.push_back({*f.name, port});
  }
  std::stable_sort(numbered.begin(), numbered.end(),
                   [](const NumberedTty& a, const NumberedTty& b) { return a.PortNo < b.PortNo; });
  return numbered;
}

std::string ComPortName(std::uint32_t PortNo) {
  return "COM" + std::to_string(PortNo);
}

std::optional<std::uint32_t> ComPortNumber(const std::string& Name) {
  if (Name.size() < 4 || Name.size() > 13) return std::nullopt;
  for (int i = 0; i < 3; ++i)
    if (std::toupper(static_cast<unsigned char>(Name[i])) != "COM"[i]) return std::nullopt;
  std::uint64_t n = 0;
  for (std::size_t i = 3; i < Name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(Name[i]))) return std::nullopt;
    n = n * 10 + static_cast<std::uint64_t>(Name[i] - '0');
  }
  if (n == 0 || n > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<std::uint32_t>(n);
}

}  // namespace sk::platform
