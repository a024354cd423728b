// The registry port list from the port map, and the two passes that join it with the
// setup-device records.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "serialkit/discovery/port_list.h"
#include "serialkit/discovery/port_loader.h"

namespace {

using namespace sk;
using sk::platform::PortMapEntry;

std::vector<std::string> Texts(const TskPortList& list) {
  std::vector<std::string> out;
  for (const auto& e : list) out.push_back(e.Text + "#" + std::to_string(e.Number));
  return out;
}

TEST(SerialPortList, MapValuesBecomeSortedComPorts) {
  struct Case {
    const char* what;
    std::vector<PortMapEntry> map;
    std::vector<std::string> expected;
  } cases[] = {
      {"ascending numbers",
       {{"/dev/a", "COM10"}, {"/dev/b", "COM2"}, {"/dev/c", "COM1"}},
       {"COM1=/dev/c#1", "COM2=/dev/b#2", "COM10=/dev/a#10"}},
      {"case and blanks",
       {{"/dev/a", "com3 "}, {"/dev/b", "\tCom4\r"}},
       {"COM3=/dev/a#3", "COM4=/dev/b#4"}},
      {"not a port number", {{"/dev/a", "COMx"}, {"/dev/b", "COM"}, {"/dev/c", "COM1x"}}, {}},
      {"parallel ports", {{"/dev/lp0", "LPT1"}, {"/dev/a", "COM5"}}, {"COM5=/dev/a#5"}},
      {"first value wins", {{"/dev/a", "COM7"}, {"/dev/b", "com7"}}, {"COM7=/dev/a#7"}},
      {"same number spelt twice",
       {{"/dev/a", "COM3"}, {"/dev/b", "COM03"}, {"/dev/c", "COM4"}},
       {"COM3=/dev/a#3", "COM4=/dev/c#4"}},
      {"number too big", {{"/dev/a", "COM99999999999"}}, {}},
  };
  for (const Case& c : cases) {
    TskPortList list{{"stale", 1}};
    GetSerialPortList(list, true, c.map);
    EXPECT_EQ(Texts(list), c.expected) << c.what;
  }
  TskPortList bare;
  GetSerialPortList(bare, false, {{"/dev/a", "COM2"}});
  EXPECT_EQ(Texts(bare), (std::vector<std::string>{"COM2#2"}));
}

TEST(SerialPortList, AddPortSortedPlacesByNumberAndSkipsTheSameText) {
  TskPortList list;
  AddPortSorted("COM5", 5, list);
  AddPortSorted("COM1", 1, list);
  AddPortSorted("com5", 5, list);  // the same text regardless of case
  AddPortSorted("COM3", 3, list);
  AddPortSorted("COM03", 3, list);  // placed after its equal, before the greater
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"COM1#1", "COM3#3", "COM03#3", "COM5#5"}));
  AddPortSorted("COM005", 5, list);  // equal to the last and none greater: dropped
  EXPECT_EQ(list.size(), 4u);
}

// A setup-device record as the enumeration makes it.
TskSetupDeviceEntry SetupDevice(const std::string& Port, const std::string& Description,
                                const std::string& Driver = "drv") {
  auto d = std::make_unique<TskDevice>();
  d->PortName = Port;
  d->Description = Description;
  d->Driver = Driver;
  d->Service = "svc";
  d->Manufacturer = "maker";
  d->RegKey = "devices/" + Driver;
  d->InstanceId = "USB\\" + Driver;
  d->DevInst = 77;
  return {Driver, std::move(d)};
}

struct Joined {
  std::vector<std::unique_ptr<TskDevice>> records;
  std::vector<std::string> Friendly() const {
    std::vector<std::string> out;
    for (const auto& r : records) out.push_back(r->NameFriendly + "#" + std::to_string(r->Data));
    return out;
  }
};

Joined Join(const TskPortList& P, TskSetupDeviceList S, bool WithDevices, bool PresentOnly) {
  Joined j;
  JoinPortsAndDevices(P, S, WithDevices, PresentOnly, [&](std::unique_ptr<TskDevice> r) {
    auto at = j.records.begin();
    while (at != j.records.end() && (*at)->Data < r->Data) ++at;
    if (at != j.records.end() && (*at)->Data == r->Data) return -1;
    return static_cast<int>(j.records.insert(at, std::move(r)) - j.records.begin());
  });
  EXPECT_TRUE(S.empty()) << "every record is consumed or destroyed";
  return j;
}

TskSetupDeviceList Devices(std::vector<TskSetupDeviceEntry> entries) {
  TskSetupDeviceList list;
  for (auto& e : entries) list.push_back(std::move(e));
  return list;
}

TEST(PortJoin, QuickModeListsTheMapOnly) {
  const TskPortList P{{"COM1=/dev/ttyS0", 1}, {"COM33=/dev/ttyUSB0", 33}};
  const Joined j = Join(P, Devices({}), false, false);
  ASSERT_EQ(j.records.size(), 2u);
  const TskDevice& r = *j.records[1];
  EXPECT_EQ(r.NameFriendly, "COM33");
  EXPECT_EQ(r.NameDeviceDos, "COM33");
  EXPECT_EQ(r.PortName, "COM33");
  EXPECT_EQ(r.NamePDO, "/dev/ttyUSB0");
  EXPECT_EQ(r.Data, 33);
  EXPECT_TRUE(r.Description.empty() && r.Driver.empty() && r.RegKey.empty());
}

TEST(PortJoin, FullInfoDescribesMatchedPortsAndNumbersUnlistedOnes) {
  const TskPortList P{{"COM3=/dev/ttyS2", 3}, {"COM5=/dev/ttyS4", 5}, {"COM9=/dev/x", 9}};
  auto S = Devices({});
  S.push_back(SetupDevice("", "Modem on (COM5)", "modem"));
  S.push_back(SetupDevice("com3", "USB Serial Port", "ports3"));
  S.push_back(SetupDevice("\tBTH1 ", "Bluetooth link", "bt1"));
  S.push_back(SetupDevice("LPT1", "Printer port", "lpt"));
  S.push_back(SetupDevice("XYZ", "", "xyz"));
  S.push_back(SetupDevice("COM12", "Twelve", "c12"));
  const Joined j = Join(P, std::move(S), true, false);
  EXPECT_EQ(j.Friendly(), (std::vector<std::string>{
                              "COM3 (USB Serial Port)#3", "COM5 (Modem on (COM5))#5", "COM9#9",
                              "COM12 (Twelve)#12", "\tBTH1  (Bluetooth link)#4097", "XYZ#4098"}));
  const TskDevice& com3 = *j.records[0];
  EXPECT_EQ(com3.PortName, "com3");
  EXPECT_EQ(com3.Driver, "ports3");
  EXPECT_EQ(com3.RegKey, "devices/ports3");
  EXPECT_EQ(com3.InstanceId, "USB\\ports3");
  EXPECT_EQ(com3.DevInst, 77u);
  EXPECT_EQ(com3.NamePDO, "/dev/ttyS2");
  const TskDevice& bt = *j.records[4];
  ASSERT_EQ(bt.Data, 4097);
  EXPECT_EQ(bt.PortName, "BTH1");
  EXPECT_TRUE(bt.InstanceId.empty()) << "the second pass carries no instance";
  EXPECT_EQ(bt.DevInst, 0u);
  EXPECT_TRUE(bt.NamePDO.empty());
}

TEST(PortJoin, FullPresentDropsUnmatchedPortsWhileDevicesRemain) {
  const TskPortList P{{"COM1=/dev/ttyS0", 1}, {"COM2=/dev/ttyS1", 2}, {"COM7=/dev/pts/3", 7}};
  auto S = Devices({});
  S.push_back(SetupDevice("COM2", "Second", "two"));
  S.push_back(SetupDevice("", "No port here", "multi"));
  EXPECT_EQ(Join(P, std::move(S), true, true).Friendly(),
            (std::vector<std::string>{"COM2 (Second)#2"}));

  auto claimed = Devices({});
  claimed.push_back(SetupDevice("COM1", "First", "one"));
  EXPECT_EQ(Join(P, std::move(claimed), true, true).Friendly(),
            (std::vector<std::string>{"COM1 (First)#1", "COM2#2", "COM7#7"}))
      << "once every device is claimed, the remaining ports stay";
  EXPECT_EQ(Join(P, Devices({}), true, true).Friendly(),
            (std::vector<std::string>{"COM1#1", "COM2#2", "COM7#7"}))
      << "without devices the richer modes list what quick lists";
}

TEST(PortJoin, APortTakesTheFirstUnusedRecordThatNamesIt) {
  struct Case {
    const char* what;
    TskPortList ports;
    std::vector<std::pair<std::string, std::string>> records;  // port name, description
    std::vector<std::string> expected;
  } cases[] = {
      {"a description before a later name",
       {{"COM5=/dev/a", 5}},
       {{"", "Modem (COM5)"}, {"COM5", "Ports"}},
       {"COM5 (Modem (COM5))#5"}},
      {"a name before a later description",
       {{"COM5=/dev/a", 5}},
       {{"com5", "Ports"}, {"", "Modem (COM5)"}},
       {"COM5 (Ports)#5"}},
      {"the description's letter case counts",
       {{"COM5=/dev/a", 5}},
       {{"", "Modem (com5)"}},
       {"COM5#5"}},
      {"parentheses within parentheses",
       {{"COM5=/dev/a", 5}},
       {{"", "Hub ((COM5))"}},
       {"COM5 (Hub ((COM5)))#5"}},
      {"no closing parenthesis", {{"COM5=/dev/a", 5}}, {{"", "Hub (COM5"}}, {"COM5#5"}},
      {"a record serves one port",
       {{"COM5=/dev/a", 5}, {"COM6=/dev/b", 6}},
       {{"", "Dual (COM5) (COM6)"}, {"", "Six (COM6)"}},
       {"COM5 (Dual (COM5) (COM6))#5", "COM6 (Six (COM6))#6"}},
      {"a used record is passed over for a later one",
       {{"COM5=/dev/a", 5}, {"com5=/dev/b", 6}},
       {{"COM5", "One"}, {"COM5", "Two"}},
       {"COM5 (One)#5", "com5 (Two)#6"}},
      {"a name with parentheses of its own",
       {{"(A)=/dev/a", 1}},
       {{"", "Port ((A))"}},
       {"(A) (Port ((A)))#1"}},
  };
  for (const Case& c : cases) {
    auto S = Devices({});
    for (const auto& [port, description] : c.records)
      S.push_back(SetupDevice(port, description, description));
    EXPECT_EQ(Join(c.ports, std::move(S), true, false).Friendly(), c.expected) << c.what;
  }
}

TEST(PortJoin, SecondPassRefusesAPortTheMapAlreadyListed) {
  const TskPortList P{{"COM65=/dev/ttyACM0", 65}};
  auto S = Devices({});
  S.push_back(SetupDevice("COM65", "Ports record", "p"));
  S.push_back(SetupDevice("COM65", "Modem record", "m"));
  EXPECT_EQ(Join(P, std::move(S), true, false).Friendly(),
            (std::vector<std::string>{"COM65 (Ports record)#65"}));
}

}  // namespace
