#pragma once
// Checks an image file before the port is touched, so that a bad file fails at once with a
// clear message instead of after connecting (or, for a missing file, never).
#include <cstdint>
#include <optional>
#include <string>

namespace bootshell::cli {

struct ImageFacts {
  std::int64_t size = 0;
  std::int64_t cycles = 0;  // address/data cycles the image takes
};

// The facts of a readable image of at least one chunk; nothing with Error set otherwise.
std::optional<ImageFacts> CheckImageFile(const std::string& Path, std::string& Error);

}  // namespace bootshell::cli
