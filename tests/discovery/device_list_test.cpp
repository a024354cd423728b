// The device list of a port: order by Data, positions, refusals, lazy loading, the selection
// and the device-change message.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "serialkit/comm/serial_comm.h"
#include "serialkit/discovery/port_list.h"
#include "serialkit/discovery/port_loader.h"
#include "serialkit/platform/device_change.h"
#ifndef _WIN32
#include "discovery/fake_device_tree.h"
#include "serialkit/testing/pseudo_terminal.h"
#endif

namespace {

using namespace sk;
namespace pf = sk::platform;

// A port whose device list is loaded from a list the test sets, and which records its
// notifications.
class ListedComm : public TskComm {
 public:
  using TskComm::DeviceAdd;
  using TskComm::DeviceInsert;
  using TskComm::DeviceListClear;

  ListedComm() { NotifyAdd(TskNotifyEvent(this, &ListedComm::PortNotify)); }

  void DeviceListLoad() override {
    ++loads;
    for (const auto& [data, port] : machine) Insert(data, port);
  }
  int Insert(std::int32_t Data, const std::string& Port = {}) {
    auto r = std::make_unique<TskDevice>();
    r->Data = Data;
    r->PortName = Port.empty() ? "COM" + std::to_string(Data) : Port;
    r->NameFriendly = r->PortName;
    return DeviceInsert(std::move(r));
  }
  std::vector<std::int32_t> DataOrder() const {
    std::vector<std::int32_t> out;
    for (int i = 0; i < DeviceCount(); ++i) out.push_back(GetDevice(i)->Data);
    return out;
  }
  void ExpectPositionsConsistent() const {
    for (int i = 0; i < DeviceCount(); ++i) {
      EXPECT_EQ(GetDevice(i)->Index(), i);
      EXPECT_EQ(GetDevice(i)->Parent(), this);
    }
  }
  std::string Name() const { return GetComName(); }

  std::vector<std::pair<std::int32_t, std::string>> machine;
  int loads = 0;
  std::vector<std::int32_t> codes;

 private:
  void PortNotify(TObject*, std::int32_t Code) { codes.push_back(Code); }
};

TEST(DeviceList, InsertKeepsDataOrderAndRenumbersPositions) {
  ListedComm comm;
  EXPECT_EQ(comm.Insert(5), 0);
  EXPECT_EQ(comm.Insert(1), 0);
  EXPECT_EQ(comm.Insert(3), 1);
  EXPECT_EQ(comm.DataOrder(), (std::vector<std::int32_t>{1, 3, 5}));
  comm.ExpectPositionsConsistent();
  EXPECT_EQ(comm.Insert(2), 1);
  EXPECT_EQ(comm.DataOrder(), (std::vector<std::int32_t>{1, 2, 3, 5}));
  comm.ExpectPositionsConsistent();
  EXPECT_EQ(comm.Insert(9), 4);
  comm.ExpectPositionsConsistent();
}

TEST(DeviceList, RecordWithExistingDataIsRefusedAndListUnchanged) {
  ListedComm comm;
  comm.Insert(1);
  comm.Insert(3);
  comm.Insert(5);
  for (std::int32_t d : {1, 3, 5}) EXPECT_EQ(comm.Insert(d, "OTHER"), -1) << d;
  EXPECT_EQ(comm.DataOrder(), (std::vector<std::int32_t>{1, 3, 5}));
  EXPECT_EQ(comm.GetDevice(1)->PortName, "COM3");
}

TEST(DeviceList, LookupsByPositionIdentityAndData) {
  ListedComm comm;
  comm.Insert(4);
  comm.Insert(2);
  EXPECT_EQ(comm.GetDevice(-1), nullptr);
  EXPECT_EQ(comm.GetDevice(2), nullptr);
  EXPECT_EQ(comm.Device(1)->Data, 4);
  EXPECT_EQ(comm.IndexOfDevice(comm.GetDevice(1)), 1);
  TskDevice lookalike = *comm.GetDevice(1);
  EXPECT_EQ(comm.IndexOfDevice(&lookalike), -1);  // identity, not contents
  EXPECT_EQ(comm.IndexOfDevice(nullptr), -1);
  EXPECT_EQ(comm.IndexOfDeviceData(2), 0);
  EXPECT_EQ(comm.IndexOfDeviceData(3), -1);
}

TEST(DeviceList, DisplayStringIsTheFriendlyNameWhenTheRecordEntered) {
  ListedComm comm;
  comm.Insert(3);
  comm.GetDevice(0)->NameFriendly = "changed later";
  TskDeviceItems items{{"stale", nullptr}};
  comm.GetDeviceList(&items);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].Name, "COM3");
  EXPECT_EQ(items[0].Object, comm.GetDevice(0));
}

TEST(DeviceList, LoadsLazilyOnlyWhileEmpty) {
  ListedComm comm;
  comm.GetDeviceList();
  comm.GetDeviceList();
  EXPECT_EQ(comm.loads, 2) << "a machine without ports loads on every call";
  comm.machine = {{3, ""}, {1, ""}};
  TskDeviceItems items;
  comm.GetDeviceList(&items);
  EXPECT_EQ(comm.loads, 3);
  EXPECT_EQ(items.size(), 2u);
  comm.machine.push_back({7, ""});
  comm.GetDeviceList(&items);
  EXPECT_EQ(comm.loads, 3) << "a filled list is copied, not reloaded";
  EXPECT_EQ(items.size(), 2u);
  comm.codes.clear();
  comm.Update();
  EXPECT_EQ(comm.loads, 4);
  EXPECT_EQ(comm.DataOrder(), (std::vector<std::int32_t>{1, 3, 7}));
  EXPECT_EQ(comm.codes, (std::vector<std::int32_t>{ncDeviceChanged}));
}

// A record that counts its destruction.
struct CountedDevice : TskDevice {
  explicit CountedDevice(int& Destroyed, std::int32_t D) : destroyed(Destroyed) { Data = D; }
  ~CountedDevice() override { ++destroyed; }
  int& destroyed;
};

TEST(DeviceList, ListOwnsItsRecordsAndDestroysRefusedOnes) {
  int destroyed = 0;
  {
    ListedComm comm;
    comm.DeviceInsert(std::make_unique<CountedDevice>(destroyed, 1));
    comm.DeviceInsert(std::make_unique<CountedDevice>(destroyed, 2));
    EXPECT_EQ(comm.DeviceInsert(std::make_unique<CountedDevice>(destroyed, 2)), -1);
    EXPECT_EQ(destroyed, 1);
    comm.DeviceListClear();
    EXPECT_EQ(comm.DeviceCount(), 0);
    EXPECT_EQ(destroyed, 3);
    comm.DeviceInsert(std::make_unique<CountedDevice>(destroyed, 5));
  }
  EXPECT_EQ(destroyed, 4) << "destroying the component destroys its records";
}

TEST(DeviceSelection, IndexSetsPortNumberAndOutOfRangeDoesNothing) {
  ListedComm comm;
  comm.Insert(1);
  comm.Insert(4);
  comm.Insert(65539);
  comm.Insert(4097);
  comm.SetComPortNo(4);
  EXPECT_EQ(comm.DeviceIndex(), 1);
  comm.codes.clear();
  comm.SetDeviceIndex(-1);
  comm.SetDeviceIndex(comm.DeviceCount());
  EXPECT_TRUE(comm.codes.empty());
  EXPECT_EQ(comm.ComPortNo(), 4);

  comm.SetDeviceIndex(0);
  EXPECT_EQ(comm.ComPortNo(), 1);
  EXPECT_EQ(comm.codes, (std::vector<std::int32_t>{ncDeviceChanged}));
  comm.SetDeviceIndex(comm.IndexOfDeviceData(4097));
  EXPECT_EQ(comm.ComPortNo(), 4097);
  EXPECT_EQ(comm.DeviceIndex(), 2);
  comm.SetDeviceIndex(comm.IndexOfDeviceData(65539));
  EXPECT_EQ(comm.ComPortNo(), 3) << "only the low 16 bits become the port number";
  EXPECT_EQ(comm.DeviceIndex(), -1);
  comm.SetComPortNo(2);
  EXPECT_EQ(comm.DeviceIndex(), -1);
}

// Opening needs a pseudo-terminal and, for the joined list, an override entry of the port map:
// Linux only.
#ifndef _WIN32
TEST(DeviceSelection, PortOpensTheEntrysPortNameElseByNumber) {
  pf::PseudoTerminal pty;
  ListedComm comm;
  comm.Insert(7, pty.SlavePath());
  comm.SetComPortNo(7);
  EXPECT_EQ(comm.Name(), pty.SlavePath());
  comm.SetActive(true);
  EXPECT_TRUE(comm.Active());
  comm.SetActive(false);
  comm.SetComPortNo(8);
  EXPECT_EQ(comm.Name(), "COM8");
}

// A port whose list joins the machine's port map with one setup device the test describes.
class JoinedComm : public TskComm {
 public:
  JoinedComm(std::string Port, std::string Description)
      : port_(std::move(Port)), description_(std::move(Description)) {
    SetEnumPorts(epFullInfo);
  }
  std::string Name() const { return GetComName(); }

 private:
  void DeviceListLoad() override {
    TskSetupDeviceList devices;
    auto d = std::make_unique<TskDevice>();
    d->PortName = port_;
    d->Description = description_;
    devices.push_back({"modem0", std::move(d)});
    TskPortList ports;
    GetSerialPortList(ports, true);
    JoinPortsAndDevices(ports, devices, true, false, [this](std::unique_ptr<TskDevice> R) {
      return DeviceInsert(std::move(R));
    });
  }
  std::string port_;
  std::string description_;
};

TEST(DeviceSelection, EntryMatchedByItsDescriptionOpensByNumber) {
  // The setup device names its port only in its description, so the entry carries no
  // PortName of its own.
  const std::string blanks[] = {"", " \t"};
  for (const std::string& port : blanks) {
    discoverytest::FakeDeviceTree tree;
    pf::PseudoTerminal pty;
    tree.Override(7, pty.SlavePath());
    JoinedComm comm(port, "Modem on (COM7)");
    comm.GetDeviceList();
    comm.SetComPortNo(7);
    const TskDevice* entry = comm.GetDevice(comm.DeviceIndex());
    ASSERT_NE(entry, nullptr);
    ASSERT_EQ(entry->Description, "Modem on (COM7)") << "matched through the description";
    ASSERT_TRUE(entry->PortName.empty());
    EXPECT_EQ(comm.Name(), "COM7");
    comm.SetActive(true);
    EXPECT_TRUE(comm.Active()) << "opened through the port map, not by an empty name";
    comm.SetActive(false);
  }
}

#endif  // _WIN32

TEST(DeviceChange, MessagesThatNameAPortOrTheTreeReload) {
  pf::DEV_BROADCAST_PORT port;
  pf::DEV_BROADCAST_HDR volume{sizeof(pf::DEV_BROADCAST_HDR), pf::DBT_DEVTYP_VOLUME, 0};
  struct Case {
    std::uint32_t msg;
    std::uintptr_t code;
    const pf::DEV_BROADCAST_HDR* header;
    bool handled;
  } cases[] = {
      {pf::WM_DEVICECHANGE, pf::DBT_DEVNODES_CHANGED, nullptr, true},
      {pf::WM_DEVICECHANGE, pf::DBT_DEVICEARRIVAL, &port.Header, true},
      {pf::WM_DEVICECHANGE, pf::DBT_DEVICEREMOVECOMPLETE, &port.Header, true},
      {pf::WM_DEVICECHANGE, pf::DBT_DEVICEARRIVAL, &volume, false},
      {pf::WM_DEVICECHANGE, pf::DBT_DEVICEARRIVAL, nullptr, false},
      {pf::WM_DEVICECHANGE, 0x8001, &port.Header, false},  // query remove
      {0x0218, pf::DBT_DEVNODES_CHANGED, nullptr, false},
  };
  for (const Case& c : cases) {
    ListedComm comm;
    comm.machine = {{1, ""}};
    comm.GetDeviceList();
    comm.codes.clear();
    pf::TDeviceChangeMessage msg{c.msg, c.code, c.header, 42};
    EXPECT_EQ(comm.WMDeviceChange(msg), c.handled) << c.code;
    EXPECT_EQ(comm.loads, c.handled ? 2 : 1) << c.code;
    EXPECT_EQ(comm.codes.size(), c.handled ? 1u : 0u) << c.code;
    EXPECT_EQ(msg.Result, 42);
  }
}

}  // namespace
