// The run-time binding of the setup library (through a loader the test plays), the registry
// helpers it uses, and the enumeration of a device the test installs.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "serialkit/platform/setup_classes.h"
#include "serialkit/platform/setup_devices.h"
#include "serialkit/platform/win32/setup_api.h"
#include "registry_sandbox.h"

namespace {

namespace win32 = sk::platform::win32;
using win32::SetupApiFunction;

// Libraries by name, each with the functions it exports; every call is logged.
class FakeLoader final : public win32::ModuleLoader {
 public:
  std::map<std::string, std::set<std::string>> libraries;
  std::vector<std::string> log;
  int loaded = 0;

  void* Load(const std::string& Library) override {
    log.push_back("load " + Library);
    auto it = libraries.find(Library);
    if (it == libraries.end()) return nullptr;
    ++loaded;
    return &it->second;
  }
  void* Find(void* Module, const std::string& Name) override {
    auto* exports = static_cast<std::set<std::string>*>(Module);
    // Any distinct address will do: the binding only keeps it.
    auto it = exports->find(Name);
    return it == exports->end() ? nullptr : const_cast<std::string*>(&*it);
  }
  void Unload(void* Module) override {
    for (auto& [name, exports] : libraries)
      if (&exports == Module) log.push_back("unload " + name);
    --loaded;
  }
};

std::set<std::string> Names(bool ConfigManager) {
  std::set<std::string> names;
  for (const auto& e : win32::kSetupApiTable)
    if (e.ConfigManager == ConfigManager)
      names.insert(e.Wide ? sk::platform::WideApiName(e.Name) : std::string(e.Name));
  return names;
}

void* Exported(const FakeLoader& L, const std::string& Library, const std::string& Name) {
  const auto& exports = L.libraries.at(Library);
  auto it = exports.find(Name);
  return it == exports.end() ? nullptr : const_cast<std::string*>(&*it);
}

TEST(SetupApiBinding, LooksUpTheWideNamesInTheTablesOrder) {
  ASSERT_EQ(win32::kSetupApiTable.size(), 25u);
  const std::set<std::string> setup = Names(false);
  EXPECT_TRUE(setup.contains("SetupDiGetClassDevsW"));
  EXPECT_TRUE(setup.contains("SetupDiDestroyDeviceInfoList"));
  EXPECT_FALSE(setup.contains("SetupDiGetClassDevsA"));
  EXPECT_TRUE(Names(true).contains("CM_Get_Device_ID_ListW"));
  EXPECT_TRUE(Names(true).contains("CM_Get_Parent"));
  int required = 0;
  for (const auto& e : win32::kSetupApiTable) required += e.Required;
  EXPECT_EQ(required, 21) << "all but the four optional functions";
}

TEST(SetupApiBinding, ConfigurationManagerComesFromWhereverItsFirstFunctionIs) {
  struct Case {
    const char* what;
    bool setupHasManager;
    bool configManagerPresent;
    bool bound;
    bool fromSetup;
  } cases[] = {
      {"in SetupAPI", true, true, true, true},
      {"in SetupAPI, no cfgmgr32", true, false, true, true},
      {"in cfgmgr32", false, true, true, false},
      {"nowhere", false, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeLoader loader;
    std::set<std::string> setup = Names(false);
    if (c.setupHasManager)
      for (const std::string& n : Names(true)) setup.insert(n);
    loader.libraries[win32::kSetupApiLibrary] = setup;
    if (c.configManagerPresent) loader.libraries[win32::kConfigManagerLibrary] = Names(true);
    {
      win32::SetupApiBinding binding(loader);
      EXPECT_EQ(binding.Load(), c.bound);
      EXPECT_EQ(loader.loaded, c.bound ? (c.fromSetup ? 1 : 2) : 0);
      if (c.bound) {
        const std::string lib =
            c.fromSetup ? win32::kSetupApiLibrary : win32::kConfigManagerLibrary;
        EXPECT_EQ(binding.Function(SetupApiFunction::CM_Get_Device_ID_List),
                  Exported(loader, lib, "CM_Get_Device_ID_ListW"));
        EXPECT_EQ(binding.Function(SetupApiFunction::SetupDiGetClassDevs),
                  Exported(loader, win32::kSetupApiLibrary, "SetupDiGetClassDevsW"));
        const auto loads = std::count(loader.log.begin(), loader.log.end(),
                                      "load " + std::string(win32::kConfigManagerLibrary));
        EXPECT_EQ(loads, c.fromSetup ? 0 : 1) << "cfgmgr32 is loaded once at most";
      } else {
        EXPECT_EQ(binding.Function(SetupApiFunction::SetupDiGetClassDevs), nullptr);
      }
    }
    EXPECT_EQ(loader.loaded, 0) << "the binding's end unloads what it bound";
  }
}

TEST(SetupApiBinding, AMissingRequiredFunctionUnloadsBothAndIsTriedAgain) {
  for (const auto& missing : win32::kSetupApiTable) {
    const std::string name =
        missing.Wide ? sk::platform::WideApiName(missing.Name) : std::string(missing.Name);
    SCOPED_TRACE(name);
    FakeLoader loader;
    loader.libraries[win32::kSetupApiLibrary] = Names(false);
    loader.libraries[win32::kConfigManagerLibrary] = Names(true);
    const std::string lib =
        missing.ConfigManager ? win32::kConfigManagerLibrary : win32::kSetupApiLibrary;
    loader.libraries[lib].erase(name);

    win32::SetupApiBinding binding(loader);
    EXPECT_EQ(binding.Load(), !missing.Required);
    if (missing.Required) {
      EXPECT_EQ(loader.loaded, 0) << "both libraries are unloaded again";
      EXPECT_EQ(binding.Function(SetupApiFunction::SetupDiEnumDeviceInfo), nullptr);
      // The next call starts again from loading SetupAPI.dll.
      loader.libraries[lib].insert(name);
      loader.log.clear();
      EXPECT_TRUE(binding.Load());
      ASSERT_FALSE(loader.log.empty());
      EXPECT_EQ(loader.log.front(), "load " + std::string(win32::kSetupApiLibrary));
    } else {
      EXPECT_EQ(loader.loaded, 2);
      const auto f = static_cast<SetupApiFunction>(&missing - win32::kSetupApiTable.data());
      EXPECT_EQ(binding.Function(f), nullptr) << "an optional function stays unbound";
    }
    // Once bound, a further call loads nothing.
    loader.log.clear();
    EXPECT_TRUE(binding.Load());
    EXPECT_TRUE(loader.log.empty());
  }
}

TEST(SetupApiBinding, WithoutSetupApiNothingElseIsLoaded) {
  FakeLoader loader;
  loader.libraries[win32::kConfigManagerLibrary] = Names(true);
  win32::SetupApiBinding binding(loader);
  EXPECT_FALSE(binding.Load());
  EXPECT_FALSE(binding.Load());
  EXPECT_EQ(loader.log, (std::vector<std::string>{"load SetupAPI.dll", "load SetupAPI.dll"}));
}

TEST(SetupApiBinding, TheSystemsLibrariesBind) {
  EXPECT_TRUE(win32::LoadSetupApi());
  EXPECT_NE(win32::SetupApi().Function(SetupApiFunction::SetupDiGetClassDevs), nullptr);
  EXPECT_NE(win32::SetupApi().Function(SetupApiFunction::CM_Get_Device_ID_List_Size), nullptr);
}

TEST(RegistryHelpers, KeyPathsComeBelowTheirRoot) {
  for (const auto root :
       {sk::platform::RegistryRoot::LocalMachine, sk::platform::RegistryRoot::CurrentUser}) {
    win32test::RegistrySandbox box(root);
    box.WriteText("Dev", L"PortName", L"COM3");
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(box.RootKey(), sk::platform::win32::ToUtf16(box.Key("Dev")).c_str(),
                              0, KEY_QUERY_VALUE, &key),
              ERROR_SUCCESS);
    sk::platform::TRegRoot got = sk::platform::TRegRoot::rrNone;
    const std::string path = win32::GetRegKeyPath(key, got);
    ::RegCloseKey(key);
    // The system may spell the key's path in its own letter case.
    EXPECT_EQ(_stricmp(path.c_str(), box.Key("Dev").c_str()), 0) << path;
    EXPECT_EQ(got, root == sk::platform::RegistryRoot::LocalMachine
                       ? sk::platform::TRegRoot::rrLocalMachine
                       : sk::platform::TRegRoot::rrCurrentUser);
    const auto readRoot = root == sk::platform::RegistryRoot::LocalMachine
                              ? sk::platform::TRegRoot::rrLocalMachine
                              : sk::platform::TRegRoot::rrCurrentUser;
    EXPECT_EQ(win32::RegReadString(readRoot, box.Key("Dev"), "PortName"), "COM3");
    EXPECT_EQ(win32::RegReadString(readRoot, box.Key("Dev"), "Missing"), "");
    EXPECT_EQ(win32::RegReadString(readRoot, box.Key("Nowhere"), "PortName"), "");
  }
  sk::platform::TRegRoot got = sk::platform::TRegRoot::rrLocalMachine;
  EXPECT_EQ(win32::GetRegKeyPath(nullptr, got), "");
  EXPECT_EQ(got, sk::platform::TRegRoot::rrNone);
}

TEST(RegistryHelpers, TextsWithoutTheirNulAndOfOtherTypesReadWhole) {
  win32test::RegistrySandbox box(sk::platform::RegistryRoot::LocalMachine);
  const std::wstring bare = L"COM4";
  box.Write("Dev", L"Bare", REG_SZ, bare.data(), 8);
  const std::wstring expand = L"%X%";
  box.Write("Dev", L"Expand", REG_EXPAND_SZ, expand.c_str(), 8);
  EXPECT_EQ(win32::RegReadString(sk::platform::TRegRoot::rrLocalMachine, box.Key("Dev"), "Bare"),
            "COM4");
  EXPECT_EQ(std::string(win32::RegReadString(sk::platform::TRegRoot::rrLocalMachine, box.Key("Dev"),
                                             "Expand")),
            std::string("%X%\0", 4))
      << "only a REG_SZ loses its NUL";
}

}  // namespace
