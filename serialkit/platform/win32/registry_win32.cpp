// The registry store over the system registry: a key below HKEY_CURRENT_USER or
// HKEY_LOCAL_MACHINE, values written as REG_BINARY.
#include <windows.h>

#include <string_view>

#include "serialkit/platform/registry.h"
#include "serialkit/platform/system_error.h"
#include "serialkit/platform/win32/utf16.h"

namespace sk::platform {

namespace {

// The same names as the file store accepts, so that a key saved on one system is a key on
// the other; the registry itself would take "." and ".." as names of their own.
bool SafeName(std::string_view Name) {
  return !Name.empty() && Name != "." && Name != ".." &&
         Name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

HKEY RootKey(RegistryRoot Root) {
  return Root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

class Win32RegistryKey final : public RegistryKey {
 public:
  explicit Win32RegistryKey(HKEY Key) : key_(Key) {}
  ~Win32RegistryKey() override { ::RegCloseKey(key_); }
  Win32RegistryKey(const Win32RegistryKey&) = delete;
  Win32RegistryKey& operator=(const Win32RegistryKey&) = delete;

  Query QueryValue(const std::string& Name, std::size_t MaxSize,
                   std::vector<std::uint8_t>& Data) override {
    Data.clear();
    if (!SafeName(Name)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return Query::Failed;
    }
    const std::wstring name = win32::ToUtf16(Name);
    // Another writer may make the value longer between asking its size and reading it.
    for (;;) {
      DWORD size = 0;
      LONG rc = ::RegQueryValueExW(key_, name.c_str(), nullptr, nullptr, nullptr, &size);
      if (rc == ERROR_FILE_NOT_FOUND) return Query::Absent;
      if (rc != ERROR_SUCCESS) {
        SetLastError(static_cast<std::uint32_t>(rc));
        return Query::Failed;
      }
      if (size > MaxSize) return Query::TooLong;
      Data.resize(size);
      rc = ::RegQueryValueExW(key_, name.c_str(), nullptr, nullptr, Data.data(), &size);
      if (rc == ERROR_MORE_DATA) continue;
      if (rc == ERROR_FILE_NOT_FOUND) {
        Data.clear();
        return Query::Absent;
      }
      if (rc != ERROR_SUCCESS) {
        Data.clear();
        SetLastError(static_cast<std::uint32_t>(rc));
        return Query::Failed;
      }
      Data.resize(size);
      return Query::Found;
    }
  }

  bool SetBinaryValue(const std::string& Name, const void* Data, std::size_t Size) override {
    if (!SafeName(Name) || Size > MAXDWORD) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return false;
    }
    const LONG rc = ::RegSetValueExW(key_, win32::ToUtf16(Name).c_str(), 0, REG_BINARY,
                                     static_cast<const BYTE*>(Data), static_cast<DWORD>(Size));
    if (rc != ERROR_SUCCESS) {
      SetLastError(static_cast<std::uint32_t>(rc));
      return false;
    }
    return true;
  }

 private:
  HKEY key_;
};

}  // namespace

std::string RegistryRootPath(RegistryRoot Root) {
  return Root == RegistryRoot::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

std::unique_ptr<RegistryKey> CreateRegistryKey(RegistryRoot Root, const std::string& Key) {
  // Refuse before touching anything, so that a bad name creates no key on its way.
  if (!Key.empty()) {
    for (std::size_t begin = 0;;) {
      const std::size_t end = Key.find('\\', begin);
      if (!SafeName(std::string_view(Key).substr(
              begin, end == std::string::npos ? std::string::npos : end - begin))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
      }
      if (end == std::string::npos) break;
      begin = end + 1;
    }
  }
  HKEY key = nullptr;
  const LONG rc =
      ::RegCreateKeyExW(RootKey(Root), win32::ToUtf16(Key).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) {
    SetLastError(static_cast<std::uint32_t>(rc));
    return nullptr;
  }
  return std::make_unique<Win32RegistryKey>(key);
}

}  // namespace sk::platform
