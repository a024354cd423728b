// The machine's serial ports on fake device trees: the classes they are found under, what
// each record tells, the port list in its three modes, and trees that are broken on purpose.
// Linux only: the cases build the kernel's device tree in a scratch folder.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "serialkit/comm/serial_comm.h"
#include "discovery/fake_device_tree.h"
#include "serialkit/discovery/port_list.h"
#include "serialkit/discovery/setup_devices.h"
#include "serialkit/testing/pseudo_terminal.h"
#include "serialkit/platform/setup_devices.h"

namespace {

using namespace sk;
using discoverytest::FakeDeviceTree;
namespace pf = sk::platform;

std::vector<std::string> PortNames(const TskSetupDeviceList& list) {
  std::vector<std::string> out;
  for (const auto& e : list) out.push_back(e.Device->NamePDO + "=" + e.Device->PortName);
  return out;
}

TskSetupDeviceList Enumerate(const pf::TGUID& Guid, bool ByClass) {
  TskSetupDeviceList list;
  EnumSetupDevices(&Guid, false, ByClass, !ByClass, list);
  return list;
}

const TskDevice* Find(const TskSetupDeviceList& list, const std::string& Node) {
  for (const auto& e : list)
    if (e.Device->NamePDO == Node) return e.Device.get();
  return nullptr;
}

TEST(SetupDevices, EachClassListsItsTtys) {
  FakeDeviceTree tree;
  tree.Standard();
  const std::string d = tree.Dev() + "/";
  struct Case {
    const char* what;
    pf::TGUID guid;
    bool byClass;
    std::vector<std::string> expected;
  } cases[] = {
      {"ports",
       pf::GUID_DEVCLASS_PORTS,
       true,
       {d + "ttyS0=COM1", d + "ttyS1=COM2", d + "ttyUSB0=COM33", d + "ttyUSB1=COM34",
        d + "ttyACM0=COM65"}},
      {"COM-port interface",
       pf::GUID_DEVINTERFACE_COMPORT,
       false,
       {d + "ttyS0=", d + "ttyS1=", d + "ttyUSB0=", d + "ttyUSB1=", d + "ttyACM0="}},
      {"modem class", pf::GUID_DEVCLASS_MODEM, true, {d + "ttyACM0=COM65"}},
      {"modem interface", pf::GUID_DEVINTERFACE_MODEM, false, {d + "ttyACM0="}},
      {"bluetooth", pf::GUID_DEVCLASS_BLUETOOTH, true, {d + "rfcomm0=COM97"}},
      {"multiport serial", pf::GUID_DEVCLASS_MULTIPORTSERIAL, true, {"="}},
      {"infrared", pf::GUID_DEVCLASS_INFRARED, true, {}},
      {"adapter", pf::GUID_DEVCLASS_ADAPTER, true, {}},
      {"multifunction", pf::GUID_DEVCLASS_MULTIFUNCTION, true, {}},
      {"legacy driver", pf::GUID_DEVCLASS_LEGACYDRIVER, true, {}},
      {"serial enumerator interface", pf::GUID_DEVINTERFACE_SERENUM_BUS_ENUMERATOR, false, {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PortNames(Enumerate(c.guid, c.byClass)), c.expected) << c.what;
}

TEST(SetupDevices, RecordsTellDriverDescriptionAndWhereTheDeviceLives) {
  FakeDeviceTree tree;
  tree.Standard();
  const TskSetupDeviceList ports = Enumerate(pf::GUID_DEVCLASS_PORTS, true);
  const TskDevice* usb0 = Find(ports, tree.Dev() + "/ttyUSB0");
  ASSERT_NE(usb0, nullptr);
  EXPECT_EQ(usb0->Service, "ftdi_sio");
  EXPECT_EQ(usb0->Description, "Dual RS232-HS A") << "the interface string comes first";
  EXPECT_EQ(usb0->Manufacturer, "FTDI");
  EXPECT_EQ(usb0->RegKey, "devices/pci0000:00/usb1/1-1/1-1:1.0/ttyUSB0");
  EXPECT_EQ(usb0->InstanceId, "USB\\VID_0403&PID_6010&MI_00\\FT1234");
  EXPECT_EQ(usb0->SerialNumber, "FT1234");
  EXPECT_EQ(usb0->BusRelations, "ttyUSB1");
  EXPECT_EQ(usb0->NameSymbolic,
            tree.Dev() + "/serial/by-id/usb-FTDI_Dual_RS232-HS_FT1234-if00-port0");
  EXPECT_EQ(usb0->GuidClass, pf::GUID_DEVCLASS_PORTS);
  EXPECT_NE(usb0->DevInst, 0u);
  EXPECT_EQ(Find(ports, tree.Dev() + "/ttyUSB1")->Description, "Dual RS232-HS")
      << "without an interface string, the product";

  const TskDevice* acm = Find(ports, tree.Dev() + "/ttyACM0");
  EXPECT_EQ(acm->Service, "cdc_acm");
  EXPECT_EQ(acm->Description, "u-blox GNSS");
  EXPECT_EQ(acm->InstanceId, "USB\\VID_1546&PID_01A8&MI_00\\1-2") << "no serial: the bus position";
  EXPECT_TRUE(acm->BusRelations.empty());

  const TskDevice* s0 = Find(ports, tree.Dev() + "/ttyS0");
  EXPECT_EQ(s0->Service, "serial") << "past the serial core's port and controller devices";
  EXPECT_EQ(s0->Description, "serial");
  EXPECT_EQ(s0->InstanceId, "PNP\\PNP0501\\00:01");
  EXPECT_EQ(Find(ports, tree.Dev() + "/ttyS1")->Service, "serial8250");

  const TskSetupDeviceList multi = Enumerate(pf::GUID_DEVCLASS_MULTIPORTSERIAL, true);
  ASSERT_EQ(multi.size(), 1u);
  EXPECT_EQ(multi[0].Device->BusRelations, "ttyUSB0;ttyUSB1");
  EXPECT_EQ(multi[0].Device->Description, "Dual RS232-HS");
  EXPECT_EQ(multi[0].Device->InstanceId, "USB\\VID_0403&PID_6010\\FT1234");
  EXPECT_EQ(multi[0].Driver, multi[0].Device->Driver);

  const TskSetupDeviceList iface = Enumerate(pf::GUID_DEVINTERFACE_COMPORT, false);
  const TskDevice* i0 = Find(iface, tree.Dev() + "/ttyUSB0");
  EXPECT_TRUE(i0->RegKey.empty() && i0->PortName.empty() && i0->InstanceId.empty());
  EXPECT_EQ(i0->NameSymbolic, usb0->NameSymbolic);
}

// A port component on the fake tree, in a given mode.
std::vector<std::string> Listed(TskEnumPorts Mode, std::vector<TskDevice*>* Records = nullptr) {
  TskComm comm;
  comm.SetEnumPorts(Mode);
  TskDeviceItems items;
  comm.GetDeviceList(&items);
  std::vector<std::string> out;
  for (const auto& i : items) out.push_back(i.Name);
  if (Records != nullptr) (void)Records;
  return out;
}

TEST(PortEnumeration, QuickModeListsTheMapByPortNumber) {
  FakeDeviceTree tree;
  tree.Standard();
  pf::PseudoTerminal pty;
  tree.Override(7, pty.SlavePath());
  EXPECT_EQ(Listed(epQuickAll),
            (std::vector<std::string>{"COM1", "COM2", "COM7", "COM33", "COM34", "COM65", "COM97"}));
  TskComm comm;
  comm.GetDeviceList();
  const TskDevice* com7 = comm.GetDevice(2);
  EXPECT_EQ(com7->NamePDO, pty.SlavePath());
  EXPECT_EQ(com7->PortName, "COM7");
  EXPECT_TRUE(com7->Description.empty());
  comm.SetComPortNo(7);
  comm.SetActive(true);
  EXPECT_TRUE(comm.Active()) << "an override entry opens through the list";
}

TEST(PortEnumeration, FullInfoDescribesEachPort) {
  FakeDeviceTree tree;
  tree.Standard();
  pf::PseudoTerminal pty;
  tree.Override(7, pty.SlavePath());
  EXPECT_EQ(Listed(epFullInfo),
            (std::vector<std::string>{"COM1 (serial)", "COM2 (serial8250)", "COM7",
                                      "COM33 (Dual RS232-HS A)", "COM34 (Dual RS232-HS)",
                                      "COM65 (u-blox GNSS)", "COM97 (rfcomm)"}));
  TskComm comm;
  comm.SetEnumPorts(epFullInfo);
  comm.GetDeviceList();
  const TskDevice* com33 = comm.GetDevice(comm.IndexOfDeviceData(33));
  EXPECT_EQ(com33->NamePDO, tree.Dev() + "/ttyUSB0");
  EXPECT_EQ(com33->Service, "ftdi_sio");
  EXPECT_EQ(com33->InstanceId, "USB\\VID_0403&PID_6010&MI_00\\FT1234");
  EXPECT_EQ(com33->RegKey, "devices/pci0000:00/usb1/1-1/1-1:1.0/ttyUSB0");
  EXPECT_TRUE(com33->NameSymbolic.empty()) << "not carried into the port list";
}

TEST(PortEnumeration, FullPresentLeavesOutPortsNoDeviceClaims) {
  FakeDeviceTree tree;
  tree.Standard();
  pf::PseudoTerminal pty;
  tree.Override(7, pty.SlavePath());
  EXPECT_EQ(
      Listed(epFullPresent),
      (std::vector<std::string>{"COM1 (serial)", "COM2 (serial8250)", "COM33 (Dual RS232-HS A)",
                                "COM34 (Dual RS232-HS)", "COM65 (u-blox GNSS)", "COM97 (rfcomm)"}));
}

TEST(PortEnumeration, WithoutDevicesEveryModeListsTheMap) {
  FakeDeviceTree tree;
  pf::PseudoTerminal pty;
  tree.Override(7, pty.SlavePath());
  tree.Override(3, pty.SlavePath());
  for (TskEnumPorts mode : {epQuickAll, epFullInfo, epFullPresent})
    EXPECT_EQ(Listed(mode), (std::vector<std::string>{"COM3", "COM7"})) << int(mode);
}

std::vector<std::string> MapNames() {
  TskPortList list;
  GetSerialPortList(list, false);
  std::vector<std::string> out;
  for (const auto& e : list) out.push_back(e.Text);
  return out;
}

TEST(PortEnumeration, OneListingReadsTheMachinesTtysOnce) {
  FakeDeviceTree other;
  other.PlatformUart("ttyS6", "4");
  FakeDeviceTree tree;  // the environment points here
  tree.PlatformUart("ttyS1", "4");
  {
    const pf::SetupEnumerationScope listing;
    EXPECT_EQ(PortNames(Enumerate(pf::GUID_DEVCLASS_PORTS, true)),
              (std::vector<std::string>{tree.Dev() + "/ttyS1=COM2"}));
    // A port arriving half-way through a listing waits for the next: the map of this one
    // names the same ports as its records.
    tree.PlatformUart("ttyS2", "4");
    EXPECT_EQ(MapNames(), (std::vector<std::string>{"COM2"}));
    ::setenv("SK_SYSFS_ROOT", other.Sys().c_str(), 1);
    EXPECT_EQ(MapNames(), (std::vector<std::string>{"COM7"})) << "another tree, another reading";
    ::setenv("SK_SYSFS_ROOT", tree.Sys().c_str(), 1);
  }
  EXPECT_EQ(MapNames(), (std::vector<std::string>{"COM2", "COM3"})) << "the next listing";
}

TEST(BadDeviceTrees, BrokenPartsGiveFewerEntriesOrEmptyTexts) {
  FakeDeviceTree tree;
  const std::string ftdi = tree.Usb("1-1", "0403", "6001", "", "", "", 1);
  tree.UsbSerialPort(tree.Interface(ftdi, 0, "ftdi_sio"), "ttyUSB0", "ftdi_sio");
  // Not UTF-8, a directory where a text belongs, a file of megabytes, a FIFO.
  tree.Attr(ftdi + "/product", "caf\xE9 \xFF\xFE");
  std::filesystem::create_directories(tree.Sys() + "/" + ftdi + "/manufacturer");
  tree.Attr(ftdi + "/serial", std::string(4 << 20, 'A'));
  ASSERT_EQ(::mkfifo((tree.Sys() + "/" + ftdi + "/1-1:1.0/interface").c_str(), 0600), 0);
  // A dangling device link, a link loop, a tty whose device escapes the tree.
  tree.Link("class/tty/ttyUSB1", "devices/virtual/tty/ttyUSB1");
  std::filesystem::create_symlink("nowhere", tree.Sys() + "/devices/virtual/tty/ttyUSB1/device");
  std::filesystem::create_directories(tree.Sys() + "/devices/loop");
  std::filesystem::create_symlink("b", tree.Sys() + "/devices/loop/a");
  std::filesystem::create_symlink("a", tree.Sys() + "/devices/loop/b");
  std::filesystem::create_symlink("../../devices/loop/a", tree.Sys() + "/class/tty/ttyUSB2");
  tree.Link("class/tty/ttyACM3", "devices/virtual/tty/ttyACM3");
  std::filesystem::create_symlink("/", tree.Sys() + "/devices/virtual/tty/ttyACM3/device");
  // A phantom legacy port whose type is not a number.
  tree.PlatformUart("ttyS4", "x");

  for (TskEnumPorts mode : {epQuickAll, epFullInfo, epFullPresent}) {
    TskComm comm;
    comm.SetEnumPorts(mode);
    comm.GetDeviceList();
    ASSERT_GE(comm.DeviceCount(), 1) << int(mode);
    const TskDevice* usb0 = comm.GetDevice(comm.IndexOfDeviceData(33));
    ASSERT_NE(usb0, nullptr);
    if (mode == epQuickAll) continue;
    EXPECT_EQ(usb0->Description, "ftdi_sio") << "unreadable texts fall back to the driver";
    EXPECT_TRUE(usb0->Manufacturer.empty());
    EXPECT_LE(usb0->InstanceId.size(), 4200u) << "a huge attribute is read only in part";
    EXPECT_EQ(comm.IndexOfDeviceData(2), -1);
  }
}

}  // namespace

#endif  // _WIN32
