#include "loader/image_check.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

#include "loader/chunk_rule.h"

namespace bootshell::loader {

namespace {

std::string Quoted(const std::string& Path) {
  return "\"" + Path + "\"";
}

}  // namespace

std::string ImageReadError(const std::string& Path, const std::string& Reason) {
  return "cannot read the image " + Quoted(Path) + ": " + Reason;
}

std::string ImageSizeError(const std::string& Path, std::int64_t Size) {
  if (Size < protocol::kMinimumImageSize)
    return "the image " + Quoted(Path) + " is too short: " + std::to_string(Size) +
           " bytes, at least " + std::to_string(protocol::kMinimumImageSize) + " are needed";
  if (Size - protocol::kChunkSize > std::numeric_limits<int>::max())
    return "the image " + Quoted(Path) + " is too large: " + std::to_string(Size) + " bytes";
  return {};
}

std::optional<ImageFacts> CheckImageFile(const std::string& Path, std::string& Error) {
  std::error_code ec;
  const auto status = std::filesystem::status(Path, ec);
  if (ec || !std::filesystem::exists(status)) {
    Error = ImageReadError(Path, ec ? ec.message() : std::string("no such file"));
    return std::nullopt;
  }
  if (!std::filesystem::is_regular_file(status)) {
    Error = "the image " + Quoted(Path) + " is not a file";
    return std::nullopt;
  }
  std::ifstream in(Path, std::ios::binary);
  if (!in) {
    Error = ImageReadError(Path, std::strerror(errno));
    return std::nullopt;
  }
  const auto size = static_cast<std::int64_t>(std::filesystem::file_size(Path, ec));
  if (ec) {
    Error = ImageReadError(Path, ec.message());
    return std::nullopt;
  }
  Error = ImageSizeError(Path, size);
  if (!Error.empty()) return std::nullopt;
  return ImageFacts{size, protocol::CycleCount(size)};
}

}  // namespace bootshell::loader
