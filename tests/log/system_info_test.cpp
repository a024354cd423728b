#include "serialkit/platform/system_info.h"

#include <gtest/gtest.h>

namespace {

using sk::platform::WindowsVersionInfo;
using sk::platform::WindowsVersionName;

WindowsVersionInfo Version(std::uint32_t major, std::uint32_t minor, bool nt = true,
                           bool workstation = true) {
  WindowsVersionInfo v;
  v.Major = major;
  v.Minor = minor;
  v.NtPlatform = nt;
  v.Workstation = workstation;
  return v;
}

TEST(WindowsVersion, NamesFollowMajorMinorPlatformAndProductType) {
  struct Case {
    std::uint32_t major, minor;
    bool nt, workstation;
    const char* name;
  } cases[] = {
      {3, 51, true, true, "NT 3.51"},
      {4, 10, false, true, "98"},
      {4, 90, false, true, "Me"},
      {4, 0, true, true, "NT 4"},
      {4, 0, false, true, "95"},
      {5, 0, true, true, "2000"},
      {5, 1, true, true, "XP"},
      {5, 2, true, true, "2003"},
      {5, 3, true, true, ""},
      {6, 0, true, true, "Vista"},
      {6, 1, true, true, "7"},
      {6, 2, true, true, "8"},
      {6, 3, true, true, "8.1"},
      {6, 4, true, true, "10"},
      {6, 5, true, true, "Future Workstation"},
      {6, 0, true, false, "Server 2008"},
      {6, 1, true, false, "Server 2008 R2"},
      {6, 2, true, false, "Server 2012"},
      {6, 3, true, false, "Server 2012 R2"},
      {6, 4, true, false, "Future Server"},
      {10, 0, true, true, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WindowsVersionName(Version(c.major, c.minor, c.nt, c.workstation)), c.name)
        << c.major << "." << c.minor << (c.nt ? " nt" : "") << (c.workstation ? " ws" : "");
}

TEST(WindowsVersion, DescriptionCarriesNumbersAndServicePack) {
  WindowsVersionInfo v = Version(6, 1);
  v.Build = 7601;
  v.ServicePack = "Service Pack 1";
  EXPECT_EQ(sk::platform::WindowsVersionString(v), "Windows 7 [6.1.7601] Service Pack 1");
  EXPECT_EQ(sk::platform::WindowsVersionString(Version(10, 0)), "Windows  [10.0.0] ");
}

TEST(SystemVersion, NamesTheRunningSystem) {
  const std::string s = sk::platform::SystemVersionString();
#ifdef _WIN32
  // The version the system (or Wine's prefix) reports, named from the table.
  ASSERT_TRUE(s.starts_with("Windows ")) << s;
  EXPECT_NE(s.find(" ["), std::string::npos) << s;
  EXPECT_NE(s, "Windows  [0.0.0] ");
#else
  ASSERT_TRUE(s.starts_with("Linux ")) << s;
  EXPECT_GT(s.size(), 6u);
#endif
}

}  // namespace
