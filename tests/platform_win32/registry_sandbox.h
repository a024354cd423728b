#pragma once
// A registry key of the test's own below a root, removed with everything in it afterwards.
// The Win32 calls are needed to look at what the store wrote and to clean up.
#include <windows.h>

#include <random>
#include <string>

#include "serialkit/platform/registry.h"
#include "serialkit/platform/win32/utf16.h"

namespace win32test {

class RegistrySandbox {
 public:
  explicit RegistrySandbox(
      sk::platform::RegistryRoot Root = sk::platform::RegistryRoot::CurrentUser)
      : root_(Root) {
    std::random_device seed;
    key_ = "Software\\SerialKit Tests\\" +
           std::to_string(std::mt19937_64(seed())() % 1000000000000ULL);
  }
  ~RegistrySandbox() { ::RegDeleteTreeW(RootKey(), sk::platform::win32::ToUtf16(key_).c_str()); }
  RegistrySandbox(const RegistrySandbox&) = delete;
  RegistrySandbox& operator=(const RegistrySandbox&) = delete;

  // The sandbox's key path, or the path of Sub below it.
  std::string Key(const std::string& Sub = {}) const {
    return Sub.empty() ? key_ : key_ + "\\" + Sub;
  }
  HKEY RootKey() const {
    return root_ == sk::platform::RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE
                                                             : HKEY_CURRENT_USER;
  }
  bool Exists(const std::string& Sub) const {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(RootKey(), sk::platform::win32::ToUtf16(Key(Sub)).c_str(), 0, KEY_READ,
                        &key) != ERROR_SUCCESS)
      return false;
    ::RegCloseKey(key);
    return true;
  }
  // Writes a value of any type below the sandbox (creating the key).
  void Write(const std::string& Sub, const std::wstring& Name, DWORD Type, const void* Data,
             DWORD Size) const {
    HKEY key = nullptr;
    ::RegCreateKeyExW(RootKey(), sk::platform::win32::ToUtf16(Key(Sub)).c_str(), 0, nullptr, 0,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr);
    ::RegSetValueExW(key, Name.c_str(), 0, Type, static_cast<const BYTE*>(Data), Size);
    ::RegCloseKey(key);
  }
  void WriteText(const std::string& Sub, const std::wstring& Name, const std::wstring& Text) const {
    Write(Sub, Name, REG_SZ, Text.c_str(), static_cast<DWORD>((Text.size() + 1) * sizeof(wchar_t)));
  }
  // The type and size of a value, or false when absent.
  bool TypeOf(const std::string& Sub, const std::wstring& Name, DWORD& Type, DWORD& Size) const {
    return ::RegGetValueW(RootKey(), sk::platform::win32::ToUtf16(Key(Sub)).c_str(), Name.c_str(),
                          RRF_RT_ANY | RRF_NOEXPAND, &Type, nullptr, &Size) == ERROR_SUCCESS;
  }

 private:
  sk::platform::RegistryRoot root_;
  std::string key_;
};

}  // namespace win32test
