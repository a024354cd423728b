// The port list of a Windows machine: a port of the registry's map, described by the
// Ports-class device that names it, in the quick and the full modes.
// Windows only: the port and the device are put into the system's registry and setup library.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "serialkit/comm/serial_comm.h"
#include "serialkit/platform/win32/setup_api.h"
#include "platform_win32/installed_devices.h"

namespace {

using namespace sk;

std::vector<std::string> Listed(TskEnumPorts Mode) {
  TskComm comm;
  comm.SetEnumPorts(Mode);
  TskDeviceItems items;
  comm.GetDeviceList(&items);
  std::vector<std::string> out;
  for (const auto& i : items) out.push_back(i.Name);
  return out;
}

bool Has(const std::vector<std::string>& List, const std::string& Name) {
  return std::find(List.begin(), List.end(), Name) != List.end();
}

TEST(PortEnumerationWin32, AMapPortIsDescribedByTheDeviceThatNamesIt) {
  win32test::SerialCommValue value(L"\\Device\\SkTestSerial", L"COM213");
  win32test::InstalledPort device(L"COM213");
  if (!value.Written() || !device.Installed())
    GTEST_SKIP() << "the machine's map and devices can be changed by administrators only";

  EXPECT_TRUE(Has(Listed(epQuickAll), "COM213"));
  EXPECT_FALSE(Has(Listed(epQuickAll), "COM213 (Test port)"));
  EXPECT_TRUE(Has(Listed(epFullInfo), "COM213 (Test port)"));

  TskComm comm;
  comm.SetEnumPorts(epFullInfo);
  comm.GetDeviceList();
  const TskDevice* r = comm.GetDevice(comm.IndexOfDeviceData(213));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->NamePDO, "\\Device\\SkTestSerial");
  EXPECT_EQ(r->PortName, "COM213");
  EXPECT_EQ(r->Description, "Test port");
  EXPECT_EQ(r->Manufacturer, "Test maker");
  EXPECT_EQ(_stricmp(r->InstanceId.c_str(), device.InstanceId().c_str()), 0);
  EXPECT_FALSE(r->RegKey.empty());
  EXPECT_NE(r->DevInst, 0u);
}

TEST(PortEnumerationWin32, ADevicePortTheMapDoesNotListComesAfterTheMapsPorts) {
  win32test::InstalledPort device(L"COM214");
  if (!device.Installed()) GTEST_SKIP() << "installing a device needs an administrator";
  EXPECT_FALSE(Has(Listed(epQuickAll), "COM214"));
  EXPECT_TRUE(Has(Listed(epFullInfo), "COM214 (Test port)")) << "the second pass adds it";
}

// A machine whose SetupAPI.dll does not load.
class NoLibraries final : public sk::platform::win32::ModuleLoader {
 public:
  void* Load(const std::string&) override { return nullptr; }
  void* Find(void*, const std::string&) override { return nullptr; }
  void Unload(void*) override {}
};

TEST(PortEnumerationWin32, WithoutTheSetupLibraryTheFullListIsTheQuickOne) {
  win32test::SerialCommValue value(L"\\Device\\SkTestSerial", L"COM213");
  win32test::InstalledPort device(L"COM213");
  if (!value.Written() || !device.Installed())
    GTEST_SKIP() << "the machine's map and devices can be changed by administrators only";
  std::vector<std::string> quick, full, present;
  {
    NoLibraries loader;
    sk::platform::win32::SetupApiBinding missing(loader);
    struct Restore {
      sk::platform::win32::SetupApiBinding* previous;
      ~Restore() { sk::platform::win32::UseSetupApi(previous); }
    } restore{sk::platform::win32::UseSetupApi(&missing)};
    quick = Listed(epQuickAll);
    full = Listed(epFullInfo);
    present = Listed(epFullPresent);
  }
  EXPECT_TRUE(Has(quick, "COM213"));
  EXPECT_EQ(full, quick);
  EXPECT_EQ(present, quick);
  EXPECT_TRUE(Has(Listed(epFullInfo), "COM213 (Test port)")) << "with the library back";
}

}  // namespace

#endif  // _WIN32
