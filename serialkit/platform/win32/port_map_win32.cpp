// The port map of a Windows machine is the registry's serial-port map, which the running
// serial drivers fill; there is no folder of overrides.
#include "serialkit/platform/win32/port_map_win32.h"

#include <windows.h>

#include <algorithm>
#include <cctype>

#include "serialkit/platform/system_error.h"
#include "serialkit/platform/win32/utf16.h"

namespace sk::platform {

namespace win32 {

std::vector<PortMapEntry> ReadSerialPortMap(RegistryRoot Root, const std::string& Key) {
  std::vector<PortMapEntry> entries;
  HKEY key = nullptr;
  if (::RegOpenKeyExW(Root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                      ToUtf16(Key).c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return entries;
  constexpr DWORD kMaxName = 260;
  constexpr DWORD kMaxData = 260;
  for (DWORD index = 0;; ++index) {
    wchar_t name[kMaxName + 1];
    BYTE data[kMaxData + sizeof(wchar_t)];
    DWORD nameLength = kMaxName + 1;
    DWORD dataSize = kMaxData;
    DWORD type = 0;
    const LONG rc = ::RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &dataSize);
    // One value too long for the room given must not hide the ports listed after it.
    if (rc == ERROR_MORE_DATA) continue;
    if (rc != ERROR_SUCCESS) break;
    std::wstring text;
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
      const auto* units = reinterpret_cast<const wchar_t*>(data);
      text.assign(units, dataSize / sizeof(wchar_t));
      text.resize(std::min(text.size(), text.find(L'\0')));
    }
    entries.push_back({FromUtf16(std::wstring_view(name, nameLength)), FromUtf16(text)});
  }
  ::RegCloseKey(key);
  return entries;
}

}  // namespace win32

namespace {

std::string Trimmed(const std::string& Text) {
  std::size_t begin = 0;
  std::size_t end = Text.size();
  while (begin < end && static_cast<unsigned char>(Text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(Text[end - 1]) <= ' ') --end;
  return Text.substr(begin, end - begin);
}

bool SameText(const std::string& A, const std::string& B) {
  return std::equal(A.begin(), A.end(), B.begin(), B.end(), [](char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) ==
           std::toupper(static_cast<unsigned char>(b));
  });
}

}  // namespace

std::string PortMap::DefaultOverrideDir() {
  return {};
}

PortMap::PortMap(std::string OverrideDir, std::string SysRoot, std::string DevRoot)
    : overrideDir_(std::move(OverrideDir)),
      sysRoot_(std::move(SysRoot)),
      devRoot_(std::move(DevRoot)) {}

std::vector<PortMapEntry> PortMap::Entries() const {
  return win32::ReadSerialPortMap(RegistryRoot::LocalMachine, win32::kSerialCommKey);
}

std::optional<std::string> PortMap::Resolve(const std::string& Name) const {
  if (Name.rfind("\\\\", 0) == 0) return Name;
  const auto number = ComPortNumber(Name);
  for (const PortMapEntry& e : Entries()) {
    const std::string port = Trimmed(e.PortName);
    if (number ? ComPortNumber(port) == number : SameText(port, Name)) return e.DevicePath;
  }
  return std::nullopt;
}

// The drivers own the map: a user's entry would name a device that CreateFileW cannot open
// under that port's name, so none is made.
bool PortMap::AddOverride(std::uint32_t, const std::string&) const {
  SetLastError(ERROR_NOT_SUPPORTED);
  return false;
}

bool PortMap::RemoveOverride(std::uint32_t) const {
  return true;
}

}  // namespace sk::platform
