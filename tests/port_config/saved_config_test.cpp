// Saving and loading a port's configuration as one 49-byte registry value.
// Linux only: the cases look at the file store's folders and files themselves; the registry
// cases of both systems are in registry_store_test.cpp.
#ifndef _WIN32
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "port_config_fixtures.h"

namespace sktest {
namespace {

namespace fs = std::filesystem;
using sk::platform::RegistryRoot;

Bytes ReadFileBytes(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::string& Path, const Bytes& Data) {
  fs::create_directories(fs::path(Path).parent_path());
  std::ofstream(Path, std::ios::binary)
      .write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
}

// The DCB's 28 bytes as Win32 lays them out.
Bytes DcbBytes(const sk::DCB& d) {
  Bytes b;
  auto put = [&](std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  put(d.DCBlength, 4);
  put(d.BaudRate, 4);
  put(DcbFlags(d), 4);
  put(d.wReserved, 2);
  put(d.XonLim, 2);
  put(d.XoffLim, 2);
  for (char c :
       {static_cast<char>(d.ByteSize), static_cast<char>(d.Parity), static_cast<char>(d.StopBits),
        d.XonChar, d.XoffChar, d.ErrorChar, d.EofChar, d.EvtChar})
    b.push_back(static_cast<std::uint8_t>(c));
  put(d.wReserved1, 2);
  return b;
}

// Everything LoadConfig may change.
struct Settings {
  std::uint16_t portNo;
  std::uint32_t baud;
  sk::TParity parity;
  sk::TStopBits stopBits;
  std::uint8_t byteSize;
  char16_t eventChar;
  std::uint32_t flags;
  bool operator==(const Settings&) const = default;
};

Settings SettingsOf(const sk::TskComm& Com) {
  return {Com.ComPortNo(),
          Com.BaudRate(),
          Com.Parity(),
          Com.StopBits(),
          Com.ByteSize(),
          Com.EventChar(),
          DcbFlags(Com.CommConfig().dcb)};
}

using SavedConfig = RegistryRoots;

TEST_F(SavedConfig, SaveWritesPortNumberDcbAndZeroPadding) {
  FakeComm com;
  RecordingLog log;
  com.SetLog(&log);
  com.SetComPortNo(3);
  com.SetBaudRate(57600);
  com.SetParity(sk::pEven);
  com.SetStopBits(sk::sbTwo);
  com.SetEventChar(u'\x7E');
  com.SaveConfig(RegistryRoot::CurrentUser, "Software\\Vendor\\Loader", "Port");

  const Bytes value = ReadFileBytes(UserRoot() + "/Software/Vendor/Loader/Port");
  ASSERT_EQ(value.size(), 49u);
  EXPECT_EQ(value[0], 3);
  EXPECT_EQ(value[1], 0);
  EXPECT_EQ(Bytes(value.begin() + 2, value.begin() + 30), DcbBytes(com.CommConfig().dcb));
  EXPECT_EQ(Bytes(value.begin() + 6, value.begin() + 10), (Bytes{0x00, 0xE1, 0x00, 0x00}));
  EXPECT_EQ(Bytes(value.begin() + 30, value.end()), Bytes(19, 0));
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"1 skComm: Configuration was saved"});
}

TEST_F(SavedConfig, MachineRootIsItsOwnFolder) {
  FakeComm com;
  com.SetComPortNo(7);
  com.SaveConfig(RegistryRoot::LocalMachine, "Ports", "Saved");
  EXPECT_EQ(ReadFileBytes(MachineRoot() + "/Ports/Saved").size(), 49u);
  EXPECT_FALSE(fs::exists(UserRoot() + "/Ports/Saved"));
}

TEST_F(SavedConfig, LoadTakesPortNumberAndLineSettingsOver) {
  struct Case {
    std::uint16_t saved;
    std::uint16_t loaded;
  };
  for (const Case c : {Case{3, 3}, Case{255, 255}, Case{260, 4}, Case{256, 0}}) {
    SCOPED_TRACE(c.saved);
    FakeComm source;
    source.SetComPortNo(c.saved);
    source.SetBaudRate(921600);
    source.SetParity(sk::pMark);
    source.SetStopBits(sk::sbOneAndHalf);
    source.SetByteSize(7);
    source.SetEventChar(u'#');
    source.SetStreamProtocol(sk::spNone);
    source.SaveConfig(RegistryRoot::CurrentUser, "Key", "Value");

    FakeComm target;
    RecordingLog log;
    target.SetLog(&log);
    target.LoadConfig(RegistryRoot::CurrentUser, "Key", "Value");
    Settings expected = SettingsOf(source);
    expected.portNo = c.loaded;
    // The flow-control bits are the loading port's own (hardware handshake by default).
    expected.flags = (DcbFlags(source.CommConfig().dcb) & 0x4CEA) | 0x2015;
    EXPECT_EQ(SettingsOf(target), expected);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"1 skComm: Configuration was loaded"});
  }
}

TEST_F(SavedConfig, LoadingReachesAnOpenPortOnTheLoadedNumber) {
  FakeComm source;
  source.SetComPortNo(9);
  source.SetBaudRate(4800);
  source.SaveConfig(RegistryRoot::CurrentUser, "K", "V");

  FakeComm com;
  com.SetComPortNo(2);
  com.SetActive(true);
  com.LoadConfig(RegistryRoot::CurrentUser, "K", "V");
  ASSERT_EQ(com.devices.size(), 2u);  // reopened on the new number
  EXPECT_TRUE(com.Active());
  EXPECT_EQ(com.ComPortNo(), 9);
  EXPECT_EQ(com.Last()->State().BaudRate, 4800u);

  // A reopen that fails is a failure of the load.
  com.SetComPortNo(2);
  com.openError = 2;
  FatalErrors fatal;
  com.SetOnFatalError(fatal.Event());
  EXPECT_THROW(com.LoadConfig(RegistryRoot::CurrentUser, "K", "V"), std::exception);
  ASSERT_EQ(fatal.heard.size(), 2u);
  EXPECT_EQ(fatal.heard[0].rfind("1 0 Device \"COM9\" Open Error !!!\r", 0), 0u);
  EXPECT_EQ(fatal.heard[1], "1 0 Error on load config information from registry");
}

TEST_F(SavedConfig, ValuesThatAreAbsentOrOfAnotherLengthChangeNothing) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{48}, std::size_t{50},
                                 std::size_t{4096}, std::size_t{99999}}) {
    SCOPED_TRACE(size);
    WriteFileBytes(UserRoot() + "/K/V", Bytes(size, 0x05));
    FakeComm com;
    RecordingLog log;
    com.SetLog(&log);
    const Settings before = SettingsOf(com);
    com.LoadConfig(RegistryRoot::CurrentUser, "K", "V");
    EXPECT_EQ(SettingsOf(com), before);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"1 skComm: Configuration was loaded"});
  }
  FakeComm com;
  RecordingLog log;
  com.SetLog(&log);
  const Settings before = SettingsOf(com);
  com.LoadConfig(RegistryRoot::CurrentUser, "Missing\\Key", "Absent");
  EXPECT_EQ(SettingsOf(com), before);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"1 skComm: Configuration was loaded"});
  // The key is created on the way, as the load opens it for writing too.
  EXPECT_TRUE(fs::is_directory(UserRoot() + "/Missing/Key"));
}

TEST_F(SavedConfig, NamesThatWouldLeaveTheRootAreRefused) {
  struct Case {
    std::string key;
    std::string name;
  };
  const Case cases[] = {
      {"..", "V"},
      {"..\\..\\escape", "V"},
      {"a\\..\\..\\b", "V"},
      {"a/../../b", "V"},
      {"/tmp", "V"},
      {"a\\\\b", "V"},
      {"a\\", "V"},
      {"\\a", "V"},
      {".", "V"},
      {std::string("a\0b", 3), "V"},
      {"K", ".."},
      {"K", "../escape"},
      {"K", "/tmp/x"},
      {"K", ""},
      {"K", "."},
      {"K", std::string("v\0x", 3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key + " | " + c.name);
    FakeComm com;
    RecordingLog log;
    FatalErrors fatal;
    com.SetLog(&log);
    com.SetOnFatalError(fatal.Event());
    try {
      com.SaveConfig(RegistryRoot::CurrentUser, c.key, c.name);
      ADD_FAILURE() << "no exception";
    } catch (const std::exception& e) {
      EXPECT_STREQ(e.what(), "Error on save config information from registry");
    }
    EXPECT_THROW(com.LoadConfig(RegistryRoot::CurrentUser, c.key, c.name), std::exception);
    EXPECT_EQ(fatal.heard,
              (std::vector<std::string>{"1 0 Error on save config information from registry",
                                        "1 0 Error on load config information from registry"}));
    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{
                  "0 Fatal Error: 1, 0, Error on save config information from registry",
                  "0 Fatal Error: 1, 0, Error on load config information from registry"}));
  }
  // A refused key name is refused before anything is made; only the valid key "K" exists.
  std::vector<std::string> made;
  for (const auto& entry : fs::recursive_directory_iterator(dir.Path()))
    made.push_back(fs::relative(entry.path(), dir.Path()).string());
  std::sort(made.begin(), made.end());
  EXPECT_EQ(made,
            (std::vector<std::string>{"config", "config/serialkit", "config/serialkit/registry",
                                      "config/serialkit/registry/K"}));
}

TEST_F(SavedConfig, LinksInsideTheStoreAreNotFollowed) {
  fs::create_directories(UserRoot());
  fs::create_directories(dir / "outside");
  fs::create_directory_symlink(dir / "outside", UserRoot() + "/Linked");
  WriteFileBytes(dir / "outside/target", Bytes(49, 1));
  fs::create_directories(UserRoot() + "/K");
  fs::create_symlink(dir / "outside/target", UserRoot() + "/K/V");

  FakeComm com;
  FatalErrors fatal;
  fatal.silence = true;
  com.SetOnFatalError(fatal.Event());
  com.SaveConfig(RegistryRoot::CurrentUser, "Linked", "V");
  com.LoadConfig(RegistryRoot::CurrentUser, "K", "V");
  EXPECT_EQ(fatal.heard,
            (std::vector<std::string>{"1 0 Error on save config information from registry",
                                      "1 0 Error on load config information from registry"}));
  EXPECT_FALSE(fs::exists(dir / "outside/V"));
  EXPECT_EQ(com.ComPortNo(), 1);
}

TEST_F(SavedConfig, AnUnwritableRootIsAFatalErrorWithItsText) {
  // A file where the root's folder would be: even an administrator cannot write there.
  WriteFileBytes(dir / "blocked", Bytes{1});
  ScopedEnv blocked("XDG_CONFIG_HOME", dir / "blocked");
  FakeComm com;
  RecordingLog log;
  com.SetLog(&log);
  try {
    com.SaveConfig(RegistryRoot::CurrentUser, "K", "V");
    ADD_FAILURE() << "no exception";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Error on save config information from registry");
  }
  try {
    com.LoadConfig(RegistryRoot::CurrentUser, "K", "V");
    ADD_FAILURE() << "no exception";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Error on load config information from registry");
  }
  // No success line: the failure is reported only as a fatal error.
  EXPECT_EQ(log.Lines(),
            (std::vector<std::string>{
                "0 Fatal Error: 1, 0, Error on save config information from registry",
                "0 Fatal Error: 1, 0, Error on load config information from registry"}));
  EXPECT_EQ(ReadFileBytes(dir / "blocked"), Bytes{1});
}

TEST_F(SavedConfig, AWriteThatFailsHalfWayKeepsTheOldValue) {
  FakeComm com;
  com.SetComPortNo(5);
  com.SaveConfig(RegistryRoot::CurrentUser, "K", "V");
  const Bytes old = ReadFileBytes(UserRoot() + "/K/V");
  ASSERT_EQ(old.size(), 49u);

  // A file size limit below the value's length makes the write stop part-way, like a full disk.
  struct FileSizeLimit {
    rlimit saved{};
    void (*handler)(int);
    FileSizeLimit() {
      ::getrlimit(RLIMIT_FSIZE, &saved);
      rlimit small = saved;
      small.rlim_cur = 10;
      ::setrlimit(RLIMIT_FSIZE, &small);
      handler = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit() {
      ::setrlimit(RLIMIT_FSIZE, &saved);
      std::signal(SIGXFSZ, handler);
    }
  };
  {
    FileSizeLimit limit;
    com.SetComPortNo(6);
    EXPECT_THROW(com.SaveConfig(RegistryRoot::CurrentUser, "K", "V"), std::exception);
  }
  EXPECT_EQ(ReadFileBytes(UserRoot() + "/K/V"), old);
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(UserRoot() + "/K"))
    files.push_back(entry.path().filename().string());
  EXPECT_EQ(files, std::vector<std::string>{"V"});
}

}  // namespace
}  // namespace sktest

#endif  // _WIN32
