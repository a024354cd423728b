// Port names as the front ends read them.
#include <gtest/gtest.h>

#include <string>

#include "boot/port_name.h"

namespace bootshell::boot {
namespace {

TEST(PortTarget, ComNameAndBareNumberNameTheSamePort) {
  std::string error;
  for (const char* text : {"COM7", "com7", "Com7", "7"}) {
    auto target = ParsePortTarget(text, error);
    ASSERT_TRUE(target) << text;
    EXPECT_EQ(target->number, 7) << text;
    EXPECT_TRUE(target->path.empty()) << text;
    EXPECT_EQ(target->Name(), "COM7");
  }
}

TEST(PortTarget, PathIsOpenedAsItStands) {
  std::string error;
  auto target = ParsePortTarget("/dev/ttyUSB0", error);
  ASSERT_TRUE(target);
  EXPECT_EQ(target->path, "/dev/ttyUSB0");
  EXPECT_EQ(target->Name(), "/dev/ttyUSB0");
}

TEST(PortTarget, NumbersOutsideThePortRangeAndOtherTextAreRefused) {
  for (const char* text : {"COM0", "0", "65536", "COM", "", "COM7x", "ttyUSB0", "-3", "COM 7"}) {
    std::string error;
    EXPECT_FALSE(ParsePortTarget(text, error)) << text;
    EXPECT_NE(error.find("no port"), std::string::npos) << text;
  }
  std::string error;
  EXPECT_EQ(ParsePortTarget("65535", error)->number, 65535);
}

}  // namespace
}  // namespace bootshell::boot
