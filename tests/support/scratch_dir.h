#pragma once
// A directory of its own for one test, removed with everything in it afterwards.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace testsupport {

class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "sk-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
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
