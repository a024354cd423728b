#pragma once
// Port names as an operator writes them: "COM7" (any case) or "7" for a numbered port opened
// through the port map, or a device path opened as it stands.
#include <cstdint>
#include <optional>
#include <string>

namespace bootshell::boot {

struct PortTarget {
  std::uint16_t number = 0;
  std::string path;
  // "COM7" or the path, for messages.
  std::string Name() const;
};

// The port a name gives; nothing for anything else, with Error saying why.
std::optional<PortTarget> ParsePortTarget(const std::string& Text, std::string& Error);

}  // namespace bootshell::boot
