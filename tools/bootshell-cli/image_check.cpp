#include "image_check.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

#include "loader/chunk_rule.h"

namespace bootshell::cli {

std::optional<ImageFacts> CheckImageFile(const std::string& Path, std::string& Error) {
  const std::string quoted = "\"" + Path + "\"";
  std::error_code ec;
  const auto status = std::filesystem::status(Path, ec);
  if (ec || !std::filesystem::exists(status)) {
    Error = "cannot read the image " + quoted + ": " +
            (ec ? ec.message() : std::string("no such file"));
    return std::nullopt;
  }
  if (!std::filesystem::is_regular_file(status)) {
    Error = "the image " + quoted + " is not a file";
    return std::nullopt;
  }
  std::ifstream in(Path, std::ios::binary);
  if (!in) {
    Error = "cannot read the image " + quoted + ": " + std::strerror(errno);
    return std::nullopt;
  }
  const auto size = static_cast<std::int64_t>(std::filesystem::file_size(Path, ec));
  if (ec) {
    Error = "cannot read the image " + quoted + ": " + ec.message();
    return std::nullopt;
  }
  if (size < protocol::kMinimumImageSize) {
    Error = "the image " + quoted + " is too short: " + std::to_string(size) + " bytes, at least " +
            std::to_string(protocol::kMinimumImageSize) + " are needed";
    return std::nullopt;
  }
  if (size - protocol::kChunkSize > std::numeric_limits<int>::max()) {
    Error = "the image " + quoted + " is too large: " + std::to_string(size) + " bytes";
    return std::nullopt;
  }
  return ImageFacts{size, protocol::CycleCount(size)};
}

}  // namespace bootshell::cli
