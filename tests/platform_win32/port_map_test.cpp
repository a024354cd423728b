// The registry's serial-port map: read from a key of the test's own for the reading rules,
// and from the system's map itself, with a value the test puts there.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serialkit/discovery/port_list.h"
#include "installed_devices.h"
#include "serialkit/platform/port_map.h"
#include "serialkit/platform/system_error.h"
#include "serialkit/platform/win32/port_map_win32.h"
#include "registry_sandbox.h"

namespace {

using sk::platform::PortMapEntry;
using sk::platform::RegistryRoot;
namespace win32 = sk::platform::win32;

std::vector<std::string> Pairs(const std::vector<PortMapEntry>& Map) {
  std::vector<std::string> out;
  for (const PortMapEntry& e : Map) out.push_back(e.DevicePath + "=" + e.PortName);
  return out;
}

std::vector<std::string> Listed(const std::vector<PortMapEntry>& Map) {
  sk::TskPortList list;
  sk::GetSerialPortList(list, true, Map);
  std::vector<std::string> out;
  for (const auto& e : list) out.push_back(e.Text);
  return out;
}

// The registry hands values out by name here, so the names below are in the order the
// cases mean them to be read.
TEST(SerialPortMap, ValuesListAsTheirPortsByNumber) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::wstring, std::wstring>> values;
    std::vector<std::string> listed;
  } cases[] = {
      {"ascending numbers",
       {{L"\\Device\\A0", L"COM10"}, {L"\\Device\\A1", L"COM2"}, {L"\\Device\\A2", L"COM1"}},
       {"COM1=\\Device\\A2", "COM2=\\Device\\A1", "COM10=\\Device\\A0"}},
      {"lower case with a trailing blank", {{L"\\Device\\A0", L"com3 "}}, {"COM3=\\Device\\A0"}},
      {"no number, a parallel port",
       {{L"\\Device\\A0", L"COMx"}, {L"\\Device\\A1", L"LPT1"}, {L"\\Device\\A2", L"COM4"}},
       {"COM4=\\Device\\A2"}},
      {"the first value naming a port wins",
       {{L"\\Device\\A0", L"COM7"}, {L"\\Device\\A1", L"com7"}},
       {"COM7=\\Device\\A0"}},
      {"names beyond ASCII", {{L"\\Device\\\u00e9", L"COM5"}}, {"COM5=\\Device\\\xC3\xA9"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    win32test::RegistrySandbox box;
    for (const auto& [name, text] : c.values) box.WriteText("Map", name, text);
    EXPECT_EQ(Listed(win32::ReadSerialPortMap(RegistryRoot::CurrentUser, box.Key("Map"))),
              c.listed);
  }
}

TEST(SerialPortMap, ValuesThatAreNoTextOrTooLongAreNoPorts) {
  win32test::RegistrySandbox box;
  const DWORD number = 3;
  box.Write("Map", L"\\Device\\A0", REG_DWORD, &number, sizeof number);
  box.WriteText("Map", L"\\Device\\A1", L"COM1");
  box.WriteText("Map", L"\\Device\\A2", L"COM2" + std::wstring(200, L' '));  // over 260 bytes
  box.WriteText("Map", L"\\Device\\A3" + std::wstring(260, L'x'), L"COM3");  // name over 260
  const std::wstring unterminated = L"COM4";
  box.Write("Map", L"\\Device\\A4", REG_SZ, unterminated.data(), 8);
  box.WriteText("Map", L"\\Device\\A5", L"COM5");
  const auto map = win32::ReadSerialPortMap(RegistryRoot::CurrentUser, box.Key("Map"));
  EXPECT_EQ(Pairs(map), (std::vector<std::string>{"\\Device\\A0=", "\\Device\\A1=COM1",
                                                  "\\Device\\A4=COM4", "\\Device\\A5=COM5"}))
      << "a value too long for its room is passed over, not the end of the map";
  EXPECT_TRUE(win32::ReadSerialPortMap(RegistryRoot::CurrentUser, box.Key("Missing")).empty());
}

TEST(SerialPortMap, TheSystemsMapListsWhatItsDriversWrote) {
  win32test::SerialCommValue value(L"\\Device\\SkTestSerial", L"COM213");
  if (!value.Written()) GTEST_SKIP() << "the machine's map can be written by administrators only";
  const sk::platform::PortMap map;
  const auto entries = map.Entries();
  EXPECT_NE(std::find_if(entries.begin(), entries.end(),
                         [](const PortMapEntry& e) {
                           return e.DevicePath == "\\Device\\SkTestSerial" &&
                                  e.PortName == "COM213";
                         }),
            entries.end());
  EXPECT_EQ(map.Resolve("com213"), "\\Device\\SkTestSerial");
  EXPECT_EQ(map.Resolve("\\\\.\\COM213"), "\\\\.\\COM213") << "a device path is itself";
  EXPECT_FALSE(map.Resolve("COM214").has_value());

  sk::TskPortList list;
  sk::GetSerialPortList(list, true);
  EXPECT_NE(std::find_if(list.begin(), list.end(),
                         [](const sk::TskPortListEntry& e) {
                           return e.Text == "COM213=\\Device\\SkTestSerial" && e.Number == 213;
                         }),
            list.end());
}

TEST(SerialPortMap, OverrideEntriesAreNotMadeOnThisSystem) {
  const sk::platform::PortMap map;
  sk::platform::SetLastError(0);
  EXPECT_FALSE(map.AddOverride(12, "\\\\.\\CNCA0"));
  EXPECT_EQ(sk::platform::LastError(), static_cast<std::uint32_t>(ERROR_NOT_SUPPORTED));
  EXPECT_FALSE(map.Resolve("COM12").has_value() && map.Resolve("COM12") == "\\\\.\\CNCA0");
  EXPECT_TRUE(map.RemoveOverride(12)) << "there is none to remove";
}

}  // namespace
