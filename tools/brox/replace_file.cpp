#include "replace_file.h"

#include <random>
#include <stdexcept>
#include <system_error>

#include "cipher/file_stream.h"

namespace brox {

namespace {

std::filesystem::path TemporaryBeside(const std::filesystem::path& Target) {
  std::random_device random;
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%08x", random());
  std::filesystem::path name = "." + Target.filename().string() + "." + suffix + ".tmp";
  return Target.parent_path() / name;
}

}  // namespace

void ReplaceFile(const std::filesystem::path& Target, const sk::ByteString& Data) {
  namespace fs = std::filesystem;
  const std::string failure = "cannot write \"" + Target.string() + "\": ";
  std::error_code ec;
  if (fs::is_directory(Target, ec)) throw std::runtime_error(failure + "Is a directory");
  fs::path temporary = TemporaryBeside(Target);
  try {
    bootshell::cipher::FileStream out(temporary, bootshell::cipher::FileMode::fmCreate);
    out.Write(Data);
    out.Close();
  } catch (const bootshell::cipher::StreamError& e) {
    fs::remove(temporary, ec);
    throw std::runtime_error(failure + e.Reason());
  }
  // A replaced file keeps its permissions.
  fs::file_status old = fs::status(Target, ec);
  if (!ec && fs::exists(old)) fs::permissions(temporary, old.permissions(), ec);
  fs::rename(temporary, Target, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    throw std::runtime_error(failure + ec.message());
  }
}

}  // namespace brox
