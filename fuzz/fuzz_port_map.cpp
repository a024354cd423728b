// Port-map name resolution under any name: a fixed override directory, no system devices.
// A path resolves to itself; any other name resolves only to an entry whose port number or
// name it matches, and "COMn" names round-trip through their number.
#include <stdlib.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>

#include "serialkit/platform/port_map.h"

namespace {

namespace fs = std::filesystem;

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "port map broke an invariant: %s\n", what);
  std::abort();
}

struct Tree {
  std::string root;
  std::unique_ptr<sk::platform::PortMap> map;
  Tree() {
    std::string pattern = (fs::temp_directory_path() / "fuzz-portmap-XXXXXX").string();
    Check(::mkdtemp(pattern.data()) != nullptr, "a scratch directory");
    root = pattern;
    const std::string ports = root + "/ports";
    map = std::make_unique<sk::platform::PortMap>(ports, root + "/sys", root + "/dev");
    for (std::uint32_t n : {1u, 7u, 42u, 4294967295u})
      Check(map->AddOverride(n, "/dev/tty-fuzz-" + std::to_string(n)), "an override entry");
    // Links the map must pass over: a name that is no port, and a port name with a bad number.
    fs::create_symlink("/dev/null", ports + "/console");
    fs::create_symlink("/dev/null", ports + "/com0");
  }
  ~Tree() {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
};

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Tree tree;
  const std::string name(reinterpret_cast<const char*>(data), size);

  const auto number = sk::platform::ComPortNumber(name);
  if (number) {
    Check(*number != 0, "no port 0");
    Check(sk::platform::ComPortNumber("com" + std::to_string(*number)) == number,
          "the number round-trips");
  }

  const auto resolved = tree.map->Resolve(name);
  if (!name.empty() && name.front() == '/') {
    Check(resolved == name, "a path resolves to itself");
    return 0;
  }
  if (!resolved) return 0;
  bool matched = false;
  for (const auto& e : tree.map->Entries()) {
    if (e.DevicePath != *resolved) continue;
    matched = (number && sk::platform::ComPortNumber(e.PortName) == number) ||
              SameIgnoringCase(e.PortName, name);
  }
  Check(matched, "a name resolves only to the entry it names");
  Check(resolved->rfind("/dev/tty-fuzz-", 0) == 0, "only override entries exist");
  return 0;
}
