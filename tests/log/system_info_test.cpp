#include "platform/system_info.h"

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

TEST(WindowsVersion, NamesTheOldFamiliesByMinorAndPlatform) {
  EXPECT_EQ(WindowsVersionName(Version(3, 51)), "NT 3.51");
  EXPECT_EQ(WindowsVersionName(Version(4, 10, false)), "98");
  EXPECT_EQ(WindowsVersionName(Version(4, 90, false)), "Me");
  EXPECT_EQ(WindowsVersionName(Version(4, 0, true)), "NT 4");
  EXPECT_EQ(WindowsVersionName(Version(4, 0, false)), "95");
  EXPECT_EQ(WindowsVersionName(Version(5, 0)), "2000");
  EXPECT_EQ(WindowsVersionName(Version(5, 1)), "XP");
  EXPECT_EQ(WindowsVersionName(Version(5, 2)), "2003");
  EXPECT_EQ(WindowsVersionName(Version(5, 3)), "");
}

TEST(WindowsVersion, SixSplitsWorkstationsFromServers) {
  const char* workstations[] = {"Vista", "7", "8", "8.1", "10"};
  for (std::uint32_t minor = 0; minor < 5; ++minor)
    EXPECT_EQ(WindowsVersionName(Version(6, minor)), workstations[minor]);
  EXPECT_EQ(WindowsVersionName(Version(6, 5)), "Future Workstation");
  const char* servers[] = {"Server 2008", "Server 2008 R2", "Server 2012", "Server 2012 R2"};
  for (std::uint32_t minor = 0; minor < 4; ++minor)
    EXPECT_EQ(WindowsVersionName(Version(6, minor, true, false)), servers[minor]);
  EXPECT_EQ(WindowsVersionName(Version(6, 4, true, false)), "Future Server");
  EXPECT_EQ(WindowsVersionName(Version(10, 0)), "");
}

TEST(WindowsVersion, DescriptionCarriesNumbersAndServicePack) {
  WindowsVersionInfo v = Version(6, 1);
  v.Build = 7601;
  v.ServicePack = "Service Pack 1";
  EXPECT_EQ(sk::platform::WindowsVersionString(v), "Windows 7 [6.1.7601] Service Pack 1");
  EXPECT_EQ(sk::platform::WindowsVersionString(Version(10, 0)), "Windows  [10.0.0] ");
}

TEST(SystemVersion, NamesTheKernelRelease) {
  const std::string s = sk::platform::SystemVersionString();
  ASSERT_TRUE(s.starts_with("Linux ")) << s;
  EXPECT_GT(s.size(), 6u);
}

}  // namespace
