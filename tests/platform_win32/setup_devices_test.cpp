// The setup-device enumeration over a Ports-class device the test installs (and removes).
#include <gtest/gtest.h>

#include <windows.h>

#include <setupapi.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/setup_classes.h"
#include "platform/setup_devices.h"
#include "platform/win32/setup_api.h"
#include "platform/win32/utf16.h"

namespace {

namespace pf = sk::platform;

GUID ToGuid(const pf::TGUID& G) {
  GUID g;
  std::memcpy(&g, &G, sizeof g);
  return g;
}

// A root-enumerated device of the Ports class with a description, a maker, a hardware key
// that names its port, and a COM-port interface.
class InstalledPort {
 public:
  InstalledPort() {
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
    const wchar_t port[] = L"COM3";
    ::RegSetValueExW(key, L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(port), sizeof port);
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

const pf::SetupDeviceRecord* FindInstance(const std::vector<pf::SetupDeviceRecord>& List,
                                          const std::string& Id) {
  auto it = std::find_if(List.begin(), List.end(), [&](const pf::SetupDeviceRecord& r) {
    return _stricmp(r.InstanceId.c_str(), Id.c_str()) == 0;
  });
  return it == List.end() ? nullptr : &*it;
}

TEST(SetupDevices, APortsClassDeviceTellsItsPortDescriptionAndKey) {
  InstalledPort port;
  if (!port.Installed()) GTEST_SKIP() << "installing a device needs an administrator";
  std::vector<pf::SetupDeviceRecord> list;
  pf::EnumSetupDevices(&pf::GUID_DEVCLASS_PORTS, false, true, false, list);
  const pf::SetupDeviceRecord* r = FindInstance(list, port.InstanceId());
  ASSERT_NE(r, nullptr) << port.InstanceId();
  EXPECT_EQ(r->PortName, "COM3");
  EXPECT_EQ(r->Description, "Test port");
  EXPECT_EQ(r->Manufacturer, "Test maker");
  EXPECT_EQ(r->GuidClass, pf::GUID_DEVCLASS_PORTS);
  EXPECT_NE(r->DevInst, 0u);
  // The hardware key's path below the machine's root, where its values are found again.
  EXPECT_EQ(_strnicmp(r->RegKey.c_str(), "SYSTEM\\", 7), 0) << r->RegKey;
  EXPECT_EQ(pf::win32::RegReadString(pf::TRegRoot::rrLocalMachine, r->RegKey, "PortName"), "COM3");

  // The same device through another class is not listed.
  std::vector<pf::SetupDeviceRecord> modems;
  pf::EnumSetupDevices(&pf::GUID_DEVCLASS_MODEM, false, true, false, modems);
  EXPECT_EQ(FindInstance(modems, port.InstanceId()), nullptr);
}

TEST(SetupDevices, AnInterfaceRecordCarriesItsDevicePathOnly) {
  InstalledPort port;
  if (!port.Installed()) GTEST_SKIP() << "installing a device needs an administrator";
  if (!port.HasInterface()) GTEST_SKIP() << "the system made no interface for the device";
  std::vector<pf::SetupDeviceRecord> list;
  pf::EnumSetupDevices(&pf::GUID_DEVINTERFACE_COMPORT, false, false, true, list);
  auto it = std::find_if(list.begin(), list.end(), [](const pf::SetupDeviceRecord& r) {
    return r.Description == "Test port";
  });
  ASSERT_NE(it, list.end());
  std::string path = it->NameSymbolic;
  std::transform(path.begin(), path.end(), path.begin(), ::tolower);
  EXPECT_NE(path.find("sktestport"), std::string::npos) << it->NameSymbolic;
  EXPECT_EQ(it->GuidClass, pf::GUID_DEVCLASS_PORTS) << "the class of the device behind it";
  EXPECT_TRUE(it->PortName.empty() && it->RegKey.empty() && it->InstanceId.empty());
}

TEST(SetupDevices, AClassTheSystemRefusesListsNothing) {
  std::vector<pf::SetupDeviceRecord> list;
  const pf::TGUID unknown{0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  pf::EnumSetupDevices(&unknown, true, true, false, list);
  EXPECT_TRUE(list.empty());
}

}  // namespace
