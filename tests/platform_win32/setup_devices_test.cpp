// The setup-device enumeration over a Ports-class device the test installs (and removes).
#include <gtest/gtest.h>

#include <windows.h>

#include <setupapi.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "installed_devices.h"
#include "serialkit/platform/setup_classes.h"
#include "serialkit/platform/setup_devices.h"
#include "serialkit/platform/win32/setup_api.h"
#include "serialkit/platform/win32/utf16.h"

namespace {

namespace pf = sk::platform;
using win32test::InstalledPort;

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

TEST(SetupDevices, PresentOnlyLeavesOutADeviceThatIsInstalledButNotAttached) {
  InstalledPort port;
  if (!port.Installed()) GTEST_SKIP() << "installing a device needs an administrator";
  std::vector<pf::SetupDeviceRecord> all, present;
  pf::EnumSetupDevices(&pf::GUID_DEVCLASS_PORTS, false, true, false, all);
  pf::EnumSetupDevices(&pf::GUID_DEVCLASS_PORTS, true, true, false, present);
  ASSERT_NE(FindInstance(all, port.InstanceId()), nullptr);
  if (port.ListedAsPresent())
    GTEST_SKIP() << "this system counts a registered device without a driver as present";
  EXPECT_EQ(FindInstance(present, port.InstanceId()), nullptr) << "no driver has started it";
}

TEST(SetupDevices, AClassTheSystemRefusesListsNothing) {
  std::vector<pf::SetupDeviceRecord> list;
  const pf::TGUID unknown{0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  pf::EnumSetupDevices(&unknown, true, true, false, list);
  EXPECT_TRUE(list.empty());
}

}  // namespace

namespace {

// The system's loader with some functions hidden, as an older or damaged SetupAPI.dll would
// lack them.
class HidingLoader final : public pf::win32::ModuleLoader {
 public:
  explicit HidingLoader(std::vector<std::string> Hidden) : hidden_(std::move(Hidden)) {}
  void* Load(const std::string& Library) override {
    return pf::win32::SystemModuleLoader().Load(Library);
  }
  void* Find(void* Module, const std::string& Name) override {
    if (std::find(hidden_.begin(), hidden_.end(), Name) != hidden_.end()) return nullptr;
    return pf::win32::SystemModuleLoader().Find(Module, Name);
  }
  void Unload(void* Module) override { pf::win32::SystemModuleLoader().Unload(Module); }

 private:
  std::vector<std::string> hidden_;
};

// Puts a binding in the enumeration's place for one test.
class ScopedSetupApi {
 public:
  explicit ScopedSetupApi(pf::win32::ModuleLoader& Loader) : binding_(Loader) {
    previous_ = pf::win32::UseSetupApi(&binding_);
  }
  ~ScopedSetupApi() { pf::win32::UseSetupApi(previous_); }
  ScopedSetupApi(const ScopedSetupApi&) = delete;
  ScopedSetupApi& operator=(const ScopedSetupApi&) = delete;

 private:
  pf::win32::SetupApiBinding binding_;
  pf::win32::SetupApiBinding* previous_ = nullptr;
};

TEST(SetupDevices, ASetupLibraryWithoutARequiredFunctionListsNothing) {
  InstalledPort port;
  if (!port.Installed()) GTEST_SKIP() << "installing a device needs an administrator";
  struct Case {
    const char* hidden;
    bool listed;
  } cases[] = {
      {"SetupDiGetINFClassW", false},  // required though the enumeration never calls it
      {"CM_Get_Sibling", false},
      {"SetupDiRemoveDevice", true},  // optional
      {"CM_Request_Device_EjectW", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hidden);
    HidingLoader loader({c.hidden});
    ScopedSetupApi scoped(loader);
    for (int call = 0; call < 2; ++call) {
      std::vector<pf::SetupDeviceRecord> list;
      pf::EnumSetupDevices(&pf::GUID_DEVCLASS_PORTS, false, true, false, list);
      EXPECT_EQ(FindInstance(list, port.InstanceId()) != nullptr, c.listed) << "call " << call;
      if (!c.listed) {
        EXPECT_TRUE(list.empty());
      }
    }
  }
  // The process's own binding is back.
  std::vector<pf::SetupDeviceRecord> list;
  pf::EnumSetupDevices(&pf::GUID_DEVCLASS_PORTS, false, true, false, list);
  EXPECT_NE(FindInstance(list, port.InstanceId()), nullptr);
}

}  // namespace
