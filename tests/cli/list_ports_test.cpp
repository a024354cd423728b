// --list-ports: the options it takes, the two output forms, and the program on a fake machine.
#include <gtest/gtest.h>
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

#include "cli_options.h"
#include "parse_options.h"
#include "port_listing.h"

#ifndef _WIN32
#include "discovery/fake_device_tree.h"
#include "serialkit/testing/pseudo_terminal.h"
#include "support/child_process.h"
#include "support/scratch_dir.h"
#endif

namespace bootshell::cli {
namespace {

TEST(ListPortsOptions, ListingNeedsNoImageButTheOtherOptionsNeedIt) {
  struct Case {
    std::vector<std::string> args;
    bool accepted;
  } cases[] = {
      {{"--list-ports"}, true},
      {{"--list-ports", "--enum", "full", "--json"}, true},
      {{"--list-ports", "--enum", "PRESENT"}, false},
      {{"--list-ports", "--enum", "all"}, false},
      {{"--enum", "full"}, false},
      {{"--json"}, false},
      {{"image.brox"}, false},
      {{"--port", "COM3"}, false},
      {{"image.brox", "--port", "COM3"}, true},
      {{"image.brox", "--port", "COM3", "--port", "/dev/pts/4", "--port", "5"}, true},
      {{"image.brox", "--port", "COM3", "--port", "LPT1"}, false},
#ifdef BOOTSHELL_RECORDS
      {{"image.brox", "--station", "--match", "0403:6001", "--match", "10c4:EA60"}, true},
      {{"image.brox", "--station", "--port", "COM3"}, false},
      {{"image.brox", "--match", "0403:6001"}, false},
      {{"image.brox", "--station", "--match", "0403-6001"}, false},
      {{"--records", "r.db"}, true},
      {{"--records", "r.db", "--json"}, true},
      {{"--records", "r.db", "--list-ports"}, false},
      {{"--record", "r.db"}, false},
      {{"image.brox", "--port", "COM3", "--record", "r.db"}, true},
#endif
  };
  for (const Case& c : cases) {
    CliOptions o;
    EXPECT_EQ(Parse(c.args, o), c.accepted) << testing::PrintToString(c.args);
  }
  CliOptions o;
  ASSERT_TRUE(Parse({"--list-ports", "--enum", "present"}, o));
  EXPECT_TRUE(o.listPorts);
  EXPECT_EQ(o.enumMode, sk::epFullPresent);
  EXPECT_FALSE(o.json);
}

TEST(ListPortsOutput, LinesAndJsonCarryTheRecords) {
  sk::TskDevice a, b;
  a.NameFriendly = "COM1 (serial)";
  a.PortName = "COM1";
  a.NamePDO = "/dev/ttyS0";
  a.Data = 1;
  b.PortName = "COM7";
  b.NamePDO = "/dev/pts/\xFF";  // a link may name a path that is not UTF-8
  b.Data = 7;
  const sk::TskDeviceItems items{{"COM1 (serial)", &a}, {"COM7", &b}};
  EXPECT_EQ(FormatPortLines(items), "COM1 (serial)\tCOM1\t/dev/ttyS0\nCOM7\tCOM7\t/dev/pts/\xFF\n");
  EXPECT_EQ(FormatPortLines({}), "");

  const auto json = nlohmann::json::parse(FormatPortJson(items));
  ASSERT_EQ(json.size(), 2u);
  EXPECT_EQ(json[0]["NameFriendly"], "COM1 (serial)");
  EXPECT_EQ(json[0]["Data"], 1);
  EXPECT_EQ(json[0]["GuidClass"], "{00000000-0000-0000-0000-000000000000}");
  EXPECT_EQ(json[0].size(), 19u) << "every field of the record";
  EXPECT_EQ(json[1]["NamePDO"], "/dev/pts/\xEF\xBF\xBD");
  EXPECT_EQ(FormatPortJson({}), "[]\n");

  // With the ports' USB identities: a column of serial numbers, and an object of their own.
  const UsbIdentities usb{{"COM7", {"0403", "6001", "A50285BI", "/dev/serial/by-id/usb-x", 0}}};
  EXPECT_EQ(FormatPortLines(items, &usb),
            "COM1 (serial)\tCOM1\t/dev/ttyS0\t\nCOM7\tCOM7\t/dev/pts/\xFF\tA50285BI\n");
  const auto withUsb = nlohmann::json::parse(FormatPortJson(items, usb));
  EXPECT_FALSE(withUsb[0].contains("Usb"));
  EXPECT_EQ(withUsb[1].size(), 20u);
  EXPECT_EQ(withUsb[1]["Usb"], nlohmann::json::parse(R"({"VendorId": "0403", "ProductId": "6001",
              "SerialNumber": "A50285BI", "ByIdLink": "/dev/serial/by-id/usb-x",
              "InterfaceNumber": 0})"));
}

TEST(ListPortsOutput, TheUsbIdentityComesFromTheInstanceId) {
  struct Case {
    std::string instanceId;
    std::optional<UsbIdentity> expected;
  } cases[] = {
      {"USB\\VID_0403&PID_6010&MI_01\\FT1234", UsbIdentity{"0403", "6010", "SN", "", 1}},
      {"USB\\VID_1546&PID_01a8\\1-2", UsbIdentity{"1546", "01A8", "SN", "", 0}},
      {"USB\\VID_1546&PID_01a8&MI_0A\\1-2", UsbIdentity{"1546", "01A8", "SN", "", 10}},
      {"PNP\\PNP0501\\00:01", std::nullopt},
      {"USB\\VID_04&PID_6001\\x", std::nullopt},
      {"USB\\VID_0403&PIX_6001\\x", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    sk::TskDevice d;
    d.InstanceId = c.instanceId;
    d.SerialNumber = "SN";
    d.NameSymbolic = "/dev/ttyUSB0";  // a node, not a by-id link
    const auto got = UsbIdentityOf(d);
    ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.instanceId;
    if (!got) continue;
    EXPECT_EQ(got->vendorId, c.expected->vendorId) << c.instanceId;
    EXPECT_EQ(got->productId, c.expected->productId) << c.instanceId;
    EXPECT_EQ(got->serialNumber, "SN");
    EXPECT_EQ(got->byIdLink, "");
    EXPECT_EQ(got->interfaceNumber, c.expected->interfaceNumber) << c.instanceId;
  }
}

#ifndef _WIN32
// On a machine of the test's making, which only Linux's device folders allow; the Windows
// program lists the system's serial-port map in the Windows stage's end-to-end run.
TEST(ListPortsProgram, PrintsTheMachinesPortsAndNothingWithoutPorts) {
  discoverytest::FakeDeviceTree tree;
  testsupport::ScratchDir out;
  EXPECT_EQ(testsupport::RunProgram(BOOTSHELL_CLI_PATH, {"--list-ports"}, out / "out", out / "err"),
            0);
  EXPECT_EQ(testsupport::ReadAll(out / "out"), "");

  sk::platform::PseudoTerminal pty;
  tree.Override(12, pty.SlavePath());
  tree.PlatformUart("ttyS0", "4");
  const std::string ftdi = tree.Usb("1-3", "0403", "6001", "A50285BI", "FTDI", "FT232R UART", 1);
  tree.UsbSerialPort(tree.Interface(ftdi, 0, "ftdi_sio"), "ttyUSB0", "ftdi_sio");
  tree.ByIdLink("usb-FTDI_FT232R_UART_A50285BI-if00-port0", "ttyUSB0");
  EXPECT_EQ(testsupport::RunProgram(BOOTSHELL_CLI_PATH, {"--list-ports", "--enum", "full"},
                                    out / "out", out / "err"),
            0);
  EXPECT_EQ(testsupport::ReadAll(out / "out"), "COM1 (serial8250)\tCOM1\t" + tree.Dev() +
                                                   "/ttyS0\t\nCOM12\tCOM12\t" + pty.SlavePath() +
                                                   "\t\nCOM33 (FT232R UART)\tCOM33\t" + tree.Dev() +
                                                   "/ttyUSB0\tA50285BI\n");
  EXPECT_EQ(testsupport::RunProgram(BOOTSHELL_CLI_PATH, {"--list-ports", "--json"}, out / "out",
                                    out / "err"),
            0);
  const auto json = nlohmann::json::parse(testsupport::ReadAll(out / "out"));
  ASSERT_EQ(json.size(), 3u);
  EXPECT_EQ(json[1]["PortName"], "COM12");
  EXPECT_FALSE(json[1].contains("Usb"));
  EXPECT_EQ(json[2]["Usb"]["VendorId"], "0403");
  EXPECT_EQ(json[2]["Usb"]["ProductId"], "6001");
  EXPECT_EQ(json[2]["Usb"]["SerialNumber"], "A50285BI");
  EXPECT_EQ(json[2]["Usb"]["ByIdLink"],
            tree.Dev() + "/serial/by-id/usb-FTDI_FT232R_UART_A50285BI-if00-port0");
  EXPECT_EQ(json[2]["Usb"]["InterfaceNumber"], 0);
}
#endif

}  // namespace
}  // namespace bootshell::cli
