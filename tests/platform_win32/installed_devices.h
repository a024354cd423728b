#pragma once
// Devices a test puts into the system and removes again: a value of the registry's serial-port
// map, and a Ports-class device of the setup library. Both need an administrator on Windows
// (under Wine anyone may); Written()/Installed() tell whether it worked.
#include <windows.h>

#include <setupapi.h>

#include <cstring>
#include <string>

#include "serialkit/discovery/guid.h"
#include "serialkit/platform/setup_classes.h"
#include "serialkit/platform/win32/utf16.h"

namespace win32test {

namespace pf = sk::platform;

inline GUID ToGuid(const pf::TGUID& G) {
  GUID g;
  std::memcpy(&g, &G, sizeof g);
  return g;
}

// A root-enumerated device of the Ports class with a description, a maker, a hardware key
// that names its port, and a COM-port interface.
class InstalledPort {
 public:
  explicit InstalledPort(const std::wstring& Port = L"COM3") {
    const GUID ports = ToGuid(pf::GUID_DEVCLASS_PORTS);
    set_ = ::SetupDiCreateDeviceInfoList(&ports, nullptr);
    device_.cbSize = sizeof device_;
    if (set_ == INVALID_HANDLE_VALUE ||
        !::SetupDiCreateDeviceInfoW(set_, L"SkTestPort", &ports, L"Test port", nullptr,
                                    DICD_GENERATE_ID, &device_) ||
        !::SetupDiRegisterDeviceInfo(set_, &device_, 0, nullptr, nullptr, nullptr))
      return;
    registered_ = true;
    SetText(SPDRP_DEVICEDESC, L"Test port");
    SetText(SPDRP_MFG, L"Test maker");
    HKEY key =
        ::SetupDiCreateDevRegKeyW(set_, &device_, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
    if (key == INVALID_HANDLE_VALUE) return;
    ::RegSetValueExW(key, L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(Port.c_str()),
                     static_cast<DWORD>((Port.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    const GUID comport = ToGuid(pf::GUID_DEVINTERFACE_COMPORT);
    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof iface;
    interface_ =
        ::SetupDiCreateDeviceInterfaceW(set_, &device_, &comport, nullptr, 0, &iface) != FALSE;
    wchar_t id[256] = {};
    if (::SetupDiGetDeviceInstanceIdW(set_, &device_, id, 256, nullptr))
      instanceId_ = pf::win32::FromUtf16(id);
  }
  ~InstalledPort() {
    if (registered_) ::SetupDiRemoveDevice(set_, &device_);
    if (set_ != INVALID_HANDLE_VALUE) ::SetupDiDestroyDeviceInfoList(set_);
  }
  InstalledPort(const InstalledPort&) = delete;
  InstalledPort& operator=(const InstalledPort&) = delete;

  bool Installed() const { return registered_ && !instanceId_.empty(); }
  bool HasInterface() const { return interface_; }
  const std::string& InstanceId() const { return instanceId_; }

  // Whether the system's own query for present devices lists this one.
  bool ListedAsPresent() const {
    const GUID ports = ToGuid(pf::GUID_DEVCLASS_PORTS);
    HDEVINFO set = ::SetupDiGetClassDevsW(&ports, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return false;
    bool found = false;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; !found && ::SetupDiEnumDeviceInfo(set, i, &device); ++i) {
      wchar_t id[256] = {};
      found = ::SetupDiGetDeviceInstanceIdW(set, &device, id, 256, nullptr) &&
              _stricmp(pf::win32::FromUtf16(id).c_str(), instanceId_.c_str()) == 0;
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return found;
  }

 private:
  void SetText(DWORD Property, const std::wstring& Text) {
    ::SetupDiSetDeviceRegistryPropertyW(set_, &device_, Property,
                                        reinterpret_cast<const BYTE*>(Text.c_str()),
                                        static_cast<DWORD>((Text.size() + 1) * sizeof(wchar_t)));
  }

  HDEVINFO set_ = INVALID_HANDLE_VALUE;
  SP_DEVINFO_DATA device_{};
  bool registered_ = false;
  bool interface_ = false;
  std::string instanceId_;
};

// A value of the system's map, removed again afterwards.
class SerialCommValue {
 public:
  SerialCommValue(std::wstring Name, const std::wstring& Port) : name_(std::move(Name)) {
    HKEY key = nullptr;
    ok_ =
        ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                          REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &key,
                          nullptr) == ERROR_SUCCESS &&
        ::RegSetValueExW(key, name_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(Port.c_str()),
                         static_cast<DWORD>((Port.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    if (key != nullptr) ::RegCloseKey(key);
  }
  ~SerialCommValue() {
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", name_.c_str());
  }
  bool Written() const { return ok_; }

 private:
  std::wstring name_;
  bool ok_ = false;
};

}  // namespace win32test
