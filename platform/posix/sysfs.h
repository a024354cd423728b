#pragma once
// Reading the kernel's device tree (or a tree a test built in its place) as untrusted input:
// attributes read to a bound, only from regular files, only as UTF-8; links that need not
// resolve; no walk without a depth limit.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace sk::platform::sysfs {

inline constexpr std::size_t kAttributeLimit = 4096;
// More entries than any machine has serial ports: a bigger folder is read only this far.
inline constexpr std::size_t kFolderLimit = 16384;

// The attribute's text without trailing blanks and line ends; nothing when it cannot be
// read, is not a regular file, or is not UTF-8. At most kAttributeLimit bytes are read.
std::optional<std::string> ReadAttribute(const std::string& Path);
// The same, empty when nothing could be read.
std::string Attribute(const std::string& Path);

// The last name of the target of the symbolic link Path ("ftdi_sio" for a driver link);
// empty when Path is no link.
std::string LinkTargetName(const std::string& Path);
// The path with every link resolved; nothing when it does not exist or links loop.
std::optional<std::string> Resolve(const std::string& Path);
bool Exists(const std::string& Path);

// The names in Folder (no "." or ".."), at most kFolderLimit of them, sorted.
std::vector<std::string> FolderNames(const std::string& Folder);

// The ttys of SysRoot's tty class that are serial ports with a real device: a ttyS only
// when its UART type is known (never opened to find out), an rfcomm link always, any other
// numbered tty when a device is behind it.
std::vector<std::string> SerialTtyNames(const std::string& SysRoot);

}  // namespace sk::platform::sysfs
