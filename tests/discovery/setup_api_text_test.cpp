// The text rules of the setup-library binding, and the class identifiers' text form.
#include <gtest/gtest.h>

#include "serialkit/discovery/setup_devices.h"
#include "serialkit/discovery/guid.h"
#include "serialkit/discovery/setup_api_text.h"

namespace {

using namespace sk;
using namespace sk::platform;

TEST(MultiStringJoin, JoinsTheTextsOfADoubleNulList) {
  struct Case {
    std::u16string buffer;
    std::string expected;
  } cases[] = {
      {std::u16string(u"A\0B\0\0", 5), "A;B"},
      {std::u16string(u"\0\0", 2), ""},
      {std::u16string(u"USB\\VID_1\0\0", 11), "USB\\VID_1"},
      {std::u16string(u"a\0\0b\0\0", 6), "a;;b"},
      {std::u16string(u"\u00e9\U0001F600\0x\0\0", 7), "\xC3\xA9\xF0\x9F\x98\x80;x"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MultiStringJoin(c.buffer.data(), c.buffer.size(), ";"), c.expected);
  EXPECT_EQ(MultiStringJoin(u"x", 1, ";"), "");
  EXPECT_EQ(MultiStringJoin(nullptr, 4, ";"), "");
}

TEST(WideApiName, ReplacesTheLastCharacter) {
  EXPECT_EQ(WideApiName("SetupDiGetClassDevsA"), "SetupDiGetClassDevsW");
  EXPECT_EQ(WideApiName("CM_Get_Device_ID_ListA"), "CM_Get_Device_ID_ListW");
  EXPECT_EQ(WideApiName(""), "");
}

TEST(RegKeyPath, RootIsTakenOffTheKeysFullName) {
  struct Case {
    std::u16string name;
    TRegRoot root;
    std::string path;
  } cases[] = {
      {u"\\REGISTRY\\MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS", TRegRoot::rrLocalMachine,
       "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS"},
      {u"\\REGISTRY\\USER\\S-1-5-21-42\\Software\\Ports", TRegRoot::rrCurrentUser,
       "Software\\Ports"},
      {u"\\REGISTRY\\USER\\S-1-5-21-42", TRegRoot::rrCurrentUser, "S-1-5-21-42"},
      {u"\\REGISTRY\\A\\MACHINE\\X", TRegRoot::rrNone, "\\REGISTRY\\A\\MACHINE\\X"},
      {u"\\Registry\\MACHINE\\X", TRegRoot::rrLocalMachine, "X"},
      // Roots spelt in another letter case are the same roots.
      {u"\\REGISTRY\\Machine\\System\\Enum", TRegRoot::rrLocalMachine, "System\\Enum"},
      {u"\\REGISTRY\\User\\S-1-5-21-0\\Software", TRegRoot::rrCurrentUser, "Software"},
      {u"\\REGISTRY\\Usera\\S-1\\X", TRegRoot::rrNone, "\\REGISTRY\\Usera\\S-1\\X"},
      {u"", TRegRoot::rrNone, ""},
  };
  for (const Case& c : cases) {
    TRegRoot root = TRegRoot::rrCurrentUser;
    EXPECT_EQ(RegKeyPathBelowRoot(c.name, root), c.path);
    EXPECT_EQ(root, c.root);
  }
}

TEST(ClassIdentifiers, TextFormRoundTripsAndRejectsMalformedText) {
  for (const TskSetupClass& c : kSerialSetupClasses) {
    const std::string text = platform::GuidToString(c.Guid);
    EXPECT_EQ(text.size(), 38u);
    EXPECT_EQ(platform::GuidFromString(text), c.Guid) << text;
  }
  EXPECT_EQ(platform::GuidToString(platform::GUID_DEVCLASS_PORTS),
            "{4D36E978-E325-11CE-BFC1-08002BE10318}");
  EXPECT_EQ(platform::GuidFromString("{4d36e978-e325-11ce-bfc1-08002be10318}"),
            platform::GUID_DEVCLASS_PORTS);
  for (const char* bad :
       {"", "{4D36E978-E325-11CE-BFC1-08002BE1031}", "{4D36E978-E325-11CE-BFC1-08002BE1031G}",
        "4D36E978-E325-11CE-BFC1-08002BE10318XX", "{4D36E978+E325-11CE-BFC1-08002BE10318}"})
    EXPECT_FALSE(platform::GuidFromString(bad).has_value()) << bad;
}

}  // namespace
