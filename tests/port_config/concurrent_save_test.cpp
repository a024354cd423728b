// Two processes saving the same value at once: a reader only ever sees one whole value.
#include <array>

#include "serialkit/discovery/saved_port_config.h"
#include "serialkit/platform/registry.h"
#include "port_config_fixtures.h"
#include "support/child_process.h"
#ifdef _WIN32
#include "platform_win32/registry_sandbox.h"
#endif

namespace sktest {
namespace {

using sk::platform::RegistryKey;
using sk::platform::RegistryRoot;

Bytes ExpectedValue(std::uint16_t PortNo, std::uint32_t Baud) {
  sk::TskComm com;
  com.SetComPortNo(PortNo);
  com.SetBaudRate(Baud);
  const auto v = sk::SavedPortConfig::From(PortNo, com.CommConfig().dcb).Encode();
  return Bytes(v.begin(), v.end());
}

#ifdef _WIN32
// The system registry: a key of the test's own below the current user, removed afterwards.
class ConcurrentSave : public ::testing::Test {
 protected:
  std::string Key() const { return box.Key("Shared\\Key"); }
  ScratchDir dir;
  win32test::RegistrySandbox box;
};
#else
// The file store, with its roots in the test's own folder.
class ConcurrentSave : public RegistryRoots {
 protected:
  std::string Key() const { return "Shared\\Key"; }
};
#endif

TEST_F(ConcurrentSave, EveryReadSeesOneWholeValue) {
  const Bytes a = ExpectedValue(11, 9600);
  const Bytes b = ExpectedValue(22, 115200);
  testsupport::ChildProcess first(SK_SAVER_PROGRAM, {Key(), "Port", "11", "9600", "1000"},
                                  dir / "a.out", dir / "a.err");
  testsupport::ChildProcess second(SK_SAVER_PROGRAM, {Key(), "Port", "22", "115200", "1000"},
                                   dir / "b.out", dir / "b.err");

  std::unique_ptr<RegistryKey> key;
  int reads = 0, seenA = 0, seenB = 0;
  std::optional<int> endA, endB;
  while (!endA || !endB) {
    if (!key) key = sk::platform::CreateRegistryKey(RegistryRoot::CurrentUser, Key());
    if (key) {
      Bytes value;
      const auto query = key->QueryValue("Port", 49, value);
      if (query != RegistryKey::Query::Absent) {
        ASSERT_EQ(query, RegistryKey::Query::Found);
        ++reads;
        if (value == a)
          ++seenA;
        else if (value == b)
          ++seenB;
        else
          FAIL() << "a torn value of " << value.size() << " bytes after " << reads << " reads";
      } else {
        // Absent only until the first save has landed.
        ASSERT_EQ(reads, 0);
      }
    }
    if (!endA) endA = first.Wait(0);
    if (!endB) endB = second.Wait(0);
  }
  EXPECT_EQ(*endA, 0) << first.Stderr();
  EXPECT_EQ(*endB, 0) << second.Stderr();
  EXPECT_GT(reads, 0);
  Bytes last;
  ASSERT_EQ(key->QueryValue("Port", 49, last), RegistryKey::Query::Found);
  EXPECT_TRUE(last == a || last == b);
  RecordProperty("reads", reads);
  RecordProperty("seenA", seenA);
  RecordProperty("seenB", seenB);
}

}  // namespace
}  // namespace sktest
