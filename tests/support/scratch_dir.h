#pragma once
// A directory of its own for one test, removed with everything in it afterwards.
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

namespace testsupport {

class ScratchDir {
 public:
  // A new directory under the system's temporary folder with a random name; creating it is
  // what claims the name, so parallel tests never share one.
  ScratchDir() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
      const auto candidate = base / ("sk-test-" + std::to_string(random() % 100000000000ULL));
      std::error_code ec;
      if (std::filesystem::create_directory(candidate, ec)) {
        path_ = candidate;
        return;
      }
      if (ec) throw std::runtime_error("cannot make a scratch directory: " + ec.message());
    }
    throw std::runtime_error("no free scratch directory name");
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // The path of the file Name in the directory.
  std::string File(const std::string& Name) const { return (path_ / Name).string(); }
  std::string operator/(const std::string& Name) const { return File(Name); }

  // Writes Text into the file Name (its folders are made as needed); its path.
  std::string WriteFile(const std::string& Name, const std::string& Text) const {
    const auto file = path_ / Name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << Text;
    return file.string();
  }

 private:
  std::filesystem::path path_;
};

}  // namespace testsupport
