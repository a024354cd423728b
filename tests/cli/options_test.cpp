// The command line: port names, link kinds, time-outs and what is refused.
#include <gtest/gtest.h>
#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "cli_options.h"
#include "parse_options.h"

namespace bootshell::cli {
namespace {

TEST(Options, DefaultsAreUartTenSecondsToConnectAndFiveForEachAnswer) {
  CliOptions o;
  ASSERT_TRUE(Parse({"image.brox", "--port", "COM3"}, o));
  EXPECT_EQ(o.imagePath, "image.brox");
  EXPECT_EQ(o.port.number, 3);
  EXPECT_EQ(o.linkKind, 0);
  EXPECT_EQ(o.connectTimeoutS, 10);
  EXPECT_EQ(o.answerTimeoutS, 5);
  EXPECT_TRUE(o.logFile.empty());
  EXPECT_FALSE(o.quiet);
}

TEST(Options, LinkKindsBecomeTheRadioGroupIndexRegardlessOfCase) {
  const std::vector<std::pair<std::string, int>> kinds{
      {"uart", 0}, {"Bluetooth", 1}, {"WIFI", 2}, {"wifi", 2}};
  for (const auto& [name, index] : kinds) {
    CliOptions o;
    ASSERT_TRUE(Parse({"i.brox", "-p", "1", "--link", name}, o)) << name;
    EXPECT_EQ(o.linkKind, index) << name;
  }
  CliOptions o;
  EXPECT_FALSE(Parse({"i.brox", "-p", "1", "--link", "usb"}, o));
}

TEST(Options, AllOptionsAreTaken) {
  CliOptions o;
  ASSERT_TRUE(Parse({"i.brox", "--port", "/dev/pts/4", "--connect-timeout", "2.5",
                     "--answer-timeout", "0.5", "--log", "trace.log", "--quiet"},
                    o));
  EXPECT_EQ(o.port.path, "/dev/pts/4");
  EXPECT_DOUBLE_EQ(o.connectTimeoutS, 2.5);
  EXPECT_DOUBLE_EQ(o.answerTimeoutS, 0.5);
  EXPECT_EQ(o.logFile, "trace.log");
  EXPECT_TRUE(o.quiet);
}

TEST(Options, MissingImageOrPortAndNonsenseTimeoutsAreRefused) {
  CliOptions o;
  EXPECT_FALSE(Parse({"--port", "COM3"}, o));
  EXPECT_FALSE(Parse({"i.brox"}, o));
  EXPECT_FALSE(Parse({"i.brox", "-p", "COMx"}, o));
  EXPECT_FALSE(Parse({"i.brox", "-p", "3", "--connect-timeout", "0"}, o));
  EXPECT_FALSE(Parse({"i.brox", "-p", "3", "--answer-timeout", "-1"}, o));
  EXPECT_FALSE(Parse({"i.brox", "-p", "3", "--answer-timeout", "soon"}, o));
}

TEST(Options, HelpListsEveryExitStatus) {
  CLI::App app;
  CliOptions o;
  DeclareOptions(app, o);
  const std::string help = app.help();
  for (const char* code :
       {"  0 ", "  1 ", "  2 ", "  3 ", "  4 ", "  5 ", "  6 ", "  7 ", "  130 "})
    EXPECT_NE(help.find(code), std::string::npos) << code;
  for (const char* option :
       {"--port", "--link", "--connect-timeout", "--answer-timeout", "--log", "--quiet"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace bootshell::cli
