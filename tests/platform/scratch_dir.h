#pragma once
// A directory of its own for one test, removed with everything in it afterwards.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace sktest {

class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "sk-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::string operator/(const std::string& Name) const { return (path_ / Name).string(); }

  // Writes Text into the file Name (its folders are made as needed).
  void WriteFile(const std::string& Name, const std::string& Text) const {
    const auto file = path_ / Name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << Text;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace sktest
