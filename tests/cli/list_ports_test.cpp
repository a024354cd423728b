// --list-ports: the options it takes, the two output forms, and the program on a fake machine.
#include <gtest/gtest.h>
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

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
  EXPECT_EQ(testsupport::RunProgram(BOOTSHELL_CLI_PATH, {"--list-ports", "--enum", "full"},
                                    out / "out", out / "err"),
            0);
  EXPECT_EQ(
      testsupport::ReadAll(out / "out"),
      "COM1 (serial8250)\tCOM1\t" + tree.Dev() + "/ttyS0\nCOM12\tCOM12\t" + pty.SlavePath() + "\n");
  EXPECT_EQ(testsupport::RunProgram(BOOTSHELL_CLI_PATH, {"--list-ports", "--json"}, out / "out",
                                    out / "err"),
            0);
  const auto json = nlohmann::json::parse(testsupport::ReadAll(out / "out"));
  ASSERT_EQ(json.size(), 2u);
  EXPECT_EQ(json[1]["PortName"], "COM12");
}
#endif

}  // namespace
}  // namespace bootshell::cli
