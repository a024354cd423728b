#include "serialkit/platform/port_map.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "serialkit/platform/system_error.h"
#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;
using sk::platform::PortMap;
using sk::platform::PortMapEntry;

// A tty class tree as the kernel shows it: a directory per tty, a "device" link when a device
// is behind it, a "type" file for serial-core ports.
class FakeTtyClass {
 public:
  explicit FakeTtyClass(const testsupport::ScratchDir& Root) : root_(Root) {}
  void Add(const std::string& Name, bool Device, const char* UartType = nullptr) {
    const fs::path dir = root_.Path() / "sys" / "class" / "tty" / Name;
    fs::create_directories(dir);
    if (Device) {
      fs::create_directories(root_.Path() / "sys" / "devices" / Name);
      fs::create_directory_symlink(root_.Path() / "sys" / "devices" / Name, dir / "device");
    }
    if (UartType != nullptr) root_.WriteFile("sys/class/tty/" + Name + "/type", UartType);
  }

 private:
  const testsupport::ScratchDir& root_;
};

std::vector<std::string> Names(const std::vector<PortMapEntry>& entries) {
  std::vector<std::string> out;
  for (const auto& e : entries) out.push_back(e.PortName + "=" + e.DevicePath);
  return out;
}

TEST(PortMap, SystemDevicesAreNumberedByKindAndOnlyRealDevicesCount) {
  testsupport::ScratchDir root;
  FakeTtyClass tty(root);
  tty.Add("ttyS0", true, "4\n");
  tty.Add("ttyS1", true, "0\n");  // no UART behind the legacy port
  tty.Add("ttyS3", false, "4\n");
  tty.Add("ttyUSB0", true);
  tty.Add("ttyUSB10", true);
  tty.Add("ttyACM2", true);
  tty.Add("rfcomm1", false);
  tty.Add("ttyAMA0", true);
  tty.Add("ttyXR7", true);
  tty.Add("tty1", false);  // a virtual console
  tty.Add("console", false);
  PortMap map(root / "ports", root / "sys", "/dev");
  EXPECT_EQ(
      Names(map.Entries()),
      (std::vector<std::string>{"COM1=/dev/ttyS0", "COM33=/dev/ttyUSB0", "COM43=/dev/ttyUSB10",
                                "COM67=/dev/ttyACM2", "COM98=/dev/rfcomm1", "COM129=/dev/ttyAMA0",
                                "COM130=/dev/ttyXR7"}));
}

TEST(PortMap, OverrideEntriesComeFirstAndWinOverTheSystemsNumber) {
  testsupport::ScratchDir root;
  FakeTtyClass tty(root);
  tty.Add("ttyS0", true, "4");
  tty.Add("ttyUSB0", true);
  PortMap map(root / "ports", root / "sys", "/dev");
  ASSERT_TRUE(map.AddOverride(33, "/dev/pts/7"));
  ASSERT_TRUE(map.AddOverride(5, "/dev/pts/3"));
  EXPECT_EQ(Names(map.Entries()),
            (std::vector<std::string>{"COM5=/dev/pts/3", "COM33=/dev/pts/7", "COM1=/dev/ttyS0"}));
  EXPECT_EQ(map.Resolve("COM33"), "/dev/pts/7");
  EXPECT_EQ(map.Resolve("com1"), "/dev/ttyS0");
}

TEST(PortMap, ResolvesPathsAsThemselvesAndUnknownNamesToNothing) {
  testsupport::ScratchDir root;
  PortMap map(root / "ports", root / "sys", "/dev");
  EXPECT_EQ(map.Resolve("/dev/ttyS9"), "/dev/ttyS9");
  EXPECT_FALSE(map.Resolve("COM7").has_value());
  EXPECT_FALSE(map.Resolve("ttyS0").has_value());
  EXPECT_FALSE(map.Resolve("").has_value());
}

TEST(PortMap, OverrideEntriesCanBeReplacedRemovedAndBeRelative) {
  testsupport::ScratchDir root;
  PortMap map(root / "ports", root / "sys", "/dev");
  ASSERT_TRUE(map.AddOverride(4, "/dev/pts/1"));
  ASSERT_TRUE(map.AddOverride(4, "/dev/pts/2"));
  EXPECT_EQ(map.Resolve("COM4"), "/dev/pts/2");
  ASSERT_TRUE(map.RemoveOverride(4));
  EXPECT_FALSE(map.Resolve("COM4").has_value());
  EXPECT_TRUE(map.RemoveOverride(4));  // nothing to remove is no failure

  fs::create_symlink("../dev/ttyQ0", root.Path() / "ports" / "com9");
  root.WriteFile("ports/notes.txt", "not an entry");
  EXPECT_EQ(map.Resolve("COM9"), (root.Path() / "dev" / "ttyQ0").string());
  EXPECT_EQ(map.Entries().size(), 1u);
}

TEST(PortMap, AddingFailsWithTheSystemReasonWhenTheDirectoryCannotBeMade) {
  testsupport::ScratchDir root;
  root.WriteFile("blocker", "a file where the directory should go");
  PortMap map(root / "blocker/ports", root / "sys", "/dev");
  EXPECT_FALSE(map.AddOverride(3, "/dev/pts/1"));
  EXPECT_FALSE(sk::platform::SystemErrorText(sk::platform::LastError()).empty());
}

TEST(PortMap, ComNumbersParseOnlyFromComNames) {
  EXPECT_EQ(sk::platform::ComPortNumber("COM12"), 12u);
  EXPECT_EQ(sk::platform::ComPortNumber("com3"), 3u);
  EXPECT_FALSE(sk::platform::ComPortNumber("COM").has_value());
  EXPECT_FALSE(sk::platform::ComPortNumber("COM0").has_value());
  EXPECT_FALSE(sk::platform::ComPortNumber("COM1a").has_value());
  EXPECT_FALSE(sk::platform::ComPortNumber("LPT1").has_value());
}

}  // namespace
