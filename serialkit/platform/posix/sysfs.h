#pragma once
// Reading the kernel's device tree (or a tree a test built in its place) as untrusted input:
// attributes read to a bound, only from regular files, only as UTF-8; links that need not
// resolve; no walk without a depth limit.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sk::platform::sysfs {

inline constexpr std::size_t kAttributeLimit = 4096;
// More entries than any machine has serial ports: a bigger folder is read only this far.
inline constexpr std::size_t kFolderLimit = 16384;

// A directory of the tree held open, so that what lies below it is looked up from there
// rather than along the whole path again: a tree of hundreds of ports is read with
// thousands of lookups, and the long paths are what they cost.
class Dir {
 public:
  Dir() = default;
  // Path with every link followed; invalid when it is no directory or links loop.
  explicit Dir(const std::string& Path);
  // Name (which may hold "/" and "..") below At.
  Dir(const Dir& At, const std::string& Name);
  ~Dir();
  Dir(Dir&& Other) noexcept;
  Dir& operator=(Dir&& Other) noexcept;
  Dir(const Dir&) = delete;
  Dir& operator=(const Dir&) = delete;

  bool Valid() const { return fd_ >= 0; }
  // The descriptor lookups below it start from; -1 for an invalid Dir.
  int Fd() const;
  // Where the directory lies, every link resolved; nothing for an invalid Dir.
  std::optional<std::string> ResolvedPath() const;
  // The directory's inode number, 0 for an invalid Dir.
  std::uintptr_t Inode() const;

 private:
  int fd_ = -1;
  std::string path_;  // as opened, for resolving without the process's descriptor table
};

// The attribute's text without trailing blanks and line ends; nothing when it cannot be
// read, is not a regular file, or is not UTF-8. At most kAttributeLimit bytes are read.
// Names are looked up below At (an absolute one as it stands); below an invalid At a
// relative name is never found.
std::optional<std::string> ReadAttribute(const Dir& At, const std::string& Name);
std::optional<std::string> ReadAttribute(const std::string& Path);
// The same, empty when nothing could be read.
std::string Attribute(const Dir& At, const std::string& Name);
std::string Attribute(const std::string& Path);

// The last name of the target of the symbolic link Name ("ftdi_sio" for a driver link);
// empty when it is no link.
std::string LinkTargetName(const Dir& At, const std::string& Name);
std::string LinkTargetName(const std::string& Path);
// The path with every link resolved; nothing when it does not exist or links loop.
std::optional<std::string> Resolve(const std::string& Path);
bool Exists(const Dir& At, const std::string& Name);
bool Exists(const std::string& Path);

// The names in Folder (no "." or ".."), at most kFolderLimit of them, sorted.
std::vector<std::string> FolderNames(const std::string& Folder);

// The ttys of SysRoot's tty class that are serial ports with a real device: a ttyS only
// when its UART type is known (never opened to find out), an rfcomm link always, any other
// numbered tty when a device is behind it.
std::vector<std::string> SerialTtyNames(const std::string& SysRoot);

// While one lives in a thread, SerialTtyNames there reads a root's tty class once and gives
// that reading again, so that the port map and the device records of one listing see the
// same ttys and the class is not read twice; nothing is kept after it ends.
class TtyClassReading {
 public:
  TtyClassReading();
  ~TtyClassReading();
  TtyClassReading(const TtyClassReading&) = delete;
  TtyClassReading& operator=(const TtyClassReading&) = delete;

 private:
  friend std::vector<std::string> SerialTtyNames(const std::string& SysRoot);
  TtyClassReading* previous_;
  std::optional<std::string> root_;
  std::vector<std::string> names_;
};

}  // namespace sk::platform::sysfs
