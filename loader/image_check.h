#pragma once
// Whether a firmware image can be sent, with the one set of messages every front end shows:
// the command line checks the file before it touches the port, the loader again when it loads.
#include <cstdint>
#include <optional>
#include <string>

namespace bootshell::loader {

struct ImageFacts {
  std::int64_t size = 0;
  std::int64_t cycles = 0;  // address/data cycles the image takes
};

// Why the image at Path can't be read: "cannot read the image "Path": Reason".
std::string ImageReadError(const std::string& Path, const std::string& Reason);
// Why an image of Size bytes can't be sent (too short, or too large for the progress range);
// empty when it can.
std::string ImageSizeError(const std::string& Path, std::int64_t Size);
// The facts of a readable image of at least one chunk; nothing with Error set otherwise.
std::optional<ImageFacts> CheckImageFile(const std::string& Path, std::string& Error);

}  // namespace bootshell::loader
