// The port configuration dialog through the platform hook.
#include <cstring>

#include "port_config_fixtures.h"
#include "serialkit/discovery/device.h"
#include "serialkit/platform/config_dialog.h"

namespace sktest {
namespace {

using sk::platform::FakeSerialDevice;

// Installs a hook for one test and removes it afterwards.
class DialogHook {
 public:
  explicit DialogHook(sk::platform::ConfigDialogHook Hook) {
    sk::platform::SetConfigDialogHook(std::move(Hook));
  }
  ~DialogHook() { sk::platform::SetConfigDialogHook(nullptr); }
};

TEST(ConfigDialog, WithoutAWindowSystemItIsCancelledAndNothingChanges) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows shows its own port dialog, which waits for an operator";
#endif
  FakeComm com;
  com.SetBaudRate(2400);
  com.SetActive(true);
  const sk::DCB before = com.CommConfig().dcb;
  const int writes = com.Last()->Calls(FakeSerialDevice::Op::SetCommState);
  com.ConfigDialog();
  EXPECT_EQ(std::memcmp(&com.CommConfig().dcb, &before, sizeof before), 0);
  EXPECT_EQ(com.Last()->Calls(FakeSerialDevice::Op::SetCommState), writes);
}

TEST(ConfigDialog, EditsTheRecordAsTheOpenPortHasIt) {
  FakeComm com;
  com.SetComPortNo(5);
  com.SetActive(true);
  // The port was changed behind the component's back: the dialog starts from the port.
  sk::DCB changed = com.Last()->State();
  changed.BaudRate = 4800;
  com.Last()->SetCommState(changed);

  std::string shownName;
  std::uint32_t shownBaud = 0;
  DialogHook hook([&](const std::string& Name, sk::COMMCONFIG& Config) {
    shownName = Name;
    shownBaud = Config.dcb.BaudRate;
    EXPECT_EQ(Config.dwSize, 52u);
    EXPECT_EQ(Config.dcb.DCBlength, 28u);
    Config.dcb.BaudRate = 31250;
    sk::SetDcbFlags(Config.dcb, (sk::DcbFlags(Config.dcb) & ~0x3315u) | 0x1311u);
    return true;
  });
  com.ConfigDialog();
  EXPECT_EQ(shownName, "COM5");
  EXPECT_EQ(shownBaud, 4800u);
  EXPECT_EQ(com.BaudRate(), 31250u);
  EXPECT_EQ(com.Last()->State().BaudRate, 31250u);
  EXPECT_EQ(com.StreamProtocol(), sk::spXonXoff);
}

// A port whose device list holds one entry, port 5, opened under another name.
class ListedComm : public FakeComm {
 public:
  using FakeComm::FakeComm;
  ~ListedComm() override { Shutdown(); }
  void DeviceListLoad() override {
    auto d = std::make_unique<sk::TskDevice>();
    d->Data = 5;
    d->PortName = "rfcomm-bridge";
    d->NameFriendly = d->PortName;
    DeviceInsert(std::move(d));
  }
};

TEST(ConfigDialog, NamesThePortAsTheDeviceListHasIt) {
  std::vector<std::string> names;
  DialogHook hook([&](const std::string& Name, sk::COMMCONFIG&) {
    names.push_back(Name);
    return false;
  });
  ListedComm com;
  com.GetDeviceList();
  com.SetComPortNo(5);
  com.ConfigDialog();
  com.SetComPortNo(6);
  com.ConfigDialog();
  EXPECT_EQ(names, (std::vector<std::string>{"rfcomm-bridge", "COM6"}));
}

TEST(ConfigDialog, ACancelledHookLeavesTheRecordAsItWas) {
  FakeComm com;
  com.SetBaudRate(2400);
  const sk::DCB before = com.CommConfig().dcb;
  // A dialog that scribbles on the record and is then cancelled.
  DialogHook hook([](const std::string&, sk::COMMCONFIG& Config) {
    Config.dcb.BaudRate = 1;
    Config.dcb.ByteSize = 5;
    return false;
  });
  com.ConfigDialog();
  EXPECT_EQ(std::memcmp(&com.CommConfig().dcb, &before, sizeof before), 0);
}

}  // namespace
}  // namespace sktest
