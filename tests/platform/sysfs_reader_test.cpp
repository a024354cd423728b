// Reading a device tree from open directories: where a directory lies, what is found below
// one, and attribute texts read to their bound.
#include "serialkit/platform/posix/sysfs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;
namespace sysfs = sk::platform::sysfs;

std::uintptr_t InodeOf(const std::string& Path) {
  struct stat st {};
  return ::stat(Path.c_str(), &st) == 0 ? static_cast<std::uintptr_t>(st.st_ino) : 0;
}

TEST(TreeDirectory, ResolvesLinksToWhereTheDirectoryLies) {
  testsupport::ScratchDir root;
  const std::string real = fs::canonical(root.Path()).string();
  fs::create_directories(root.Path() / "devices/a/b");
  root.WriteFile("devices/file", "x");
  fs::create_symlink("devices/a", root.Path() / "first");
  fs::create_symlink("first/b", root.Path() / "second");  // a link through a link
  fs::create_symlink("loop2", root.Path() / "loop1");
  fs::create_symlink("loop1", root.Path() / "loop2");
  fs::create_symlink("nowhere", root.Path() / "dangling");
  fs::create_symlink("devices/file", root.Path() / "to-file");
  struct Case {
    const char* name;
    std::optional<std::string> lies;
  } cases[] = {
      {"devices/a/b", real + "/devices/a/b"},
      {"second", real + "/devices/a/b"},
      {"devices/a/../a/b", real + "/devices/a/b"},
      {"loop1", std::nullopt},
      {"dangling", std::nullopt},
      {"to-file", std::nullopt},
  };
  const sysfs::Dir top(root.Path().string());
  ASSERT_TRUE(top.Valid());
  for (const Case& c : cases) {
    for (const sysfs::Dir& d : {sysfs::Dir(top, c.name), sysfs::Dir(root / c.name)}) {
      EXPECT_EQ(d.Valid(), c.lies.has_value()) << c.name;
      EXPECT_EQ(d.ResolvedPath(), c.lies) << c.name;
      EXPECT_EQ(d.Inode(), c.lies ? InodeOf(*c.lies) : 0u) << c.name;
    }
  }
}

TEST(TreeDirectory, NothingIsFoundBelowADirectoryThatDidNotOpen) {
  testsupport::ScratchDir root;
  const std::string text = root.WriteFile("attr", "1");
  fs::create_directory(root.Path() / "sub");
  fs::create_symlink("target/driver", root.Path() / "link");
  // The names exist in the process's folder: an unopened directory must not stand for it.
  const std::string previous = fs::current_path().string();
  fs::current_path(root.Path());
  const sysfs::Dir missing(root / "missing");
  EXPECT_FALSE(missing.Valid());
  EXPECT_FALSE(sysfs::Exists(missing, "attr"));
  EXPECT_FALSE(sysfs::ReadAttribute(missing, "attr").has_value());
  EXPECT_TRUE(sysfs::LinkTargetName(missing, "link").empty());
  EXPECT_FALSE(sysfs::Dir(missing, "sub").Valid());
  EXPECT_EQ(sysfs::ReadAttribute(missing, text), "1") << "an absolute name stands as it is";
  fs::current_path(previous);
}

TEST(TreeAttributes, TextsAreReadToTheBoundFromRegularFilesOnly) {
  testsupport::ScratchDir root;
  const std::size_t limit = sysfs::kAttributeLimit;
  root.WriteFile("dir/inside", "");
  ASSERT_EQ(::mkfifo((root / "fifo").c_str(), 0600), 0);
  struct Case {
    const char* name;
    std::string content;  // written unless empty
    std::optional<std::string> read;
  } cases[] = {
      {"short", "4\n", "4"},
      {"blanks", "usb-serial \t\n\n", "usb-serial"},
      {"empty", "", ""},
      {"one short of the bound", std::string(limit - 1, 'A'), std::string(limit - 1, 'A')},
      {"at the bound", std::string(limit, 'B'), std::string(limit, 'B')},
      {"one past the bound", std::string(limit + 1, 'C'), std::string(limit, 'C')},
      {"megabytes", std::string(3 << 20, 'D'), std::string(limit, 'D')},
      {"not UTF-8", "caf\xE9", std::nullopt},
      {"NUL inside", std::string("a\0b", 3), std::nullopt},
      {"dir", "", std::nullopt},
      {"fifo", "", std::nullopt},
      {"missing", "", std::nullopt},
  };
  const sysfs::Dir top(root.Path().string());
  for (const Case& c : cases) {
    const std::string name = c.name;
    if (!c.content.empty() || name == "empty") root.WriteFile(name, c.content);
    EXPECT_EQ(sysfs::ReadAttribute(top, name), c.read) << c.name;
    EXPECT_EQ(sysfs::ReadAttribute(root / name), c.read) << c.name;
    EXPECT_EQ(sysfs::Attribute(top, name), c.read.value_or("")) << c.name;
  }
}

}  // namespace
