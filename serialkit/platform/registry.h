#pragma once
// A small registry: keys below a root, each holding named binary values. On this platform a
// file store: a key path's backslash-separated names are folders below the root's folder and
// a value is a file of its raw bytes. A value is replaced whole (a temporary file, flushed and
// renamed over the old one), so a reader or a second writer never meets a torn value.
// On Windows the system registry: the key below HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE,
// values of type REG_BINARY; the same names are refused there.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "serialkit/platform/registry_root.h"

namespace sk::platform {

class RegistryKey {
 public:
  enum class Query : std::uint8_t { Found, Absent, TooLong, Failed };

  virtual ~RegistryKey() = default;

  // Reads the value Name whole when it holds at most MaxSize bytes (Found, Data its bytes);
  // TooLong, with Data empty, when it holds more. Failed leaves the reason in LastError().
  virtual Query QueryValue(const std::string& Name, std::size_t MaxSize,
                           std::vector<std::uint8_t>& Data) = 0;
  // Replaces the value Name (or creates it) with Size bytes; false with LastError() set.
  // On failure the value keeps its old bytes.
  virtual bool SetBinaryValue(const std::string& Name, const void* Data, std::size_t Size) = 0;
};

// Opens Key below Root for reading and writing, creating the key and the folders above it
// when missing. Key is a path of names separated by backslashes ("" is the root itself); a
// name that is empty, "." or "..", or holds "/" or NUL, is refused with EINVAL, and so is such
// a value name later. Null with LastError() set on failure.
std::unique_ptr<RegistryKey> CreateRegistryKey(RegistryRoot Root, const std::string& Key);

// The folder that holds Root's keys: $XDG_CONFIG_HOME/serialkit/registry (default
// ~/.config/serialkit/registry) for the current user, $SK_MACHINE_REGISTRY (default
// /var/lib/serialkit/registry) for the machine. On Windows the root key's name.
std::string RegistryRootPath(RegistryRoot Root);

}  // namespace sk::platform
