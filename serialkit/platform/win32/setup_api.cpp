#include "serialkit/platform/win32/setup_api.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "serialkit/platform/win32/utf16.h"

namespace sk::platform::win32 {

namespace {

class SystemLoader final : public ModuleLoader {
 public:
  void* Load(const std::string& Library) override {
    return ::LoadLibraryW(ToUtf16(Library).c_str());
  }
  void* Find(void* Module, const std::string& Name) override {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(Module), Name.c_str()));
  }
  void Unload(void* Module) override { ::FreeLibrary(static_cast<HMODULE>(Module)); }
};

}  // namespace

const std::array<SetupApiEntry, static_cast<std::size_t>(SetupApiFunction::Count)> kSetupApiTable{{
    {"SetupDiGetClassDevsA", true, true, false},
    {"SetupDiDestroyDeviceInfoList", false, true, false},
    {"SetupDiEnumDeviceInfo", false, true, false},
    {"SetupDiGetDeviceRegistryPropertyA", true, true, false},
    {"SetupDiOpenDevRegKey", false, true, false},
    {"SetupDiEnumDeviceInterfaces", false, true, false},
    {"SetupDiGetDeviceInterfaceDetailA", true, true, false},
    {"SetupDiCreateDeviceInfoList", false, true, false},
    {"SetupDiCreateDeviceInfoA", true, true, false},
    {"SetupDiGetINFClassA", true, true, false},
    {"SetupDiSetDeviceRegistryPropertyA", true, true, false},
    {"SetupDiCallClassInstaller", false, true, false},
    {"SetupDiGetDeviceInstanceIdA", true, true, false},
    {"SetupDiRemoveDevice", false, false, false},
    {"SetupDiUnremoveDevice", false, false, false},
    {"SetupDiOpenDeviceInfoA", true, false, false},
    {"SetupDiSetClassInstallParamsA", true, true, false},
    {"CM_Locate_DevNodeA", true, true, true},
    {"CM_Get_DevNode_Registry_PropertyA", true, true, true},
    {"CM_Get_Parent", false, true, true},
    {"CM_Get_Device_ID_List_SizeA", true, true, true},
    {"CM_Get_Device_ID_ListA", true, true, true},
    {"CM_Get_Child", false, true, true},
    {"CM_Get_Sibling", false, true, true},
    {"CM_Request_Device_EjectA", true, false, true},
}};

ModuleLoader& SystemModuleLoader() {
  static SystemLoader loader;
  return loader;
}

SetupApiBinding::~SetupApiBinding() {
  Forget();
}

void SetupApiBinding::Forget() {
  if (configManager_ != nullptr && configManager_ != setupApi_) loader_.Unload(configManager_);
  if (setupApi_ != nullptr) loader_.Unload(setupApi_);
  setupApi_ = nullptr;
  configManager_ = nullptr;
  entries_.fill(nullptr);
}

bool SetupApiBinding::Load() {
  std::lock_guard lock(mutex_);
  if (setupApi_ != nullptr) return true;
  setupApi_ = loader_.Load(kSetupApiLibrary);
  if (setupApi_ == nullptr) return false;
  bool complete = true;
  bool managerChosen = false;
  for (std::size_t i = 0; i < kSetupApiTable.size(); ++i) {
    const SetupApiEntry& e = kSetupApiTable[i];
    const std::string name = e.Wide ? WideApiName(e.Name) : std::string(e.Name);
    void* found = nullptr;
    if (!e.ConfigManager) {
      found = loader_.Find(setupApi_, name);
    } else if (!managerChosen) {
      // The first configuration-manager name decides where all of them come from.
      managerChosen = true;
      found = loader_.Find(setupApi_, name);
      if (found != nullptr) {
        configManager_ = setupApi_;
      } else {
        configManager_ = loader_.Load(kConfigManagerLibrary);
        if (configManager_ != nullptr) found = loader_.Find(configManager_, name);
      }
    } else if (configManager_ != nullptr) {
      found = loader_.Find(configManager_, name);
    }
    entries_[i] = found;
    if (found == nullptr && e.Required) complete = false;
  }
  if (!complete) Forget();
  return setupApi_ != nullptr;
}

void* SetupApiBinding::Function(SetupApiFunction F) const {
  std::lock_guard lock(mutex_);
  return entries_[static_cast<std::size_t>(F)];
}

namespace {

SetupApiBinding& ProcessBinding() {
  static SetupApiBinding binding(SystemModuleLoader());
  return binding;
}

std::atomic<SetupApiBinding*> gReplacement{nullptr};

}  // namespace

SetupApiBinding& SetupApi() {
  SetupApiBinding* replacement = gReplacement.load();
  return replacement != nullptr ? *replacement : ProcessBinding();
}

SetupApiBinding* UseSetupApi(SetupApiBinding* Binding) {
  return gReplacement.exchange(Binding);
}

bool LoadSetupApi() {
  return SetupApi().Load();
}

std::string GetRegKeyPath(void* Key, TRegRoot& Root) {
  Root = TRegRoot::rrNone;
  if (Key == nullptr || Key == INVALID_HANDLE_VALUE) return {};
  HMODULE ntdll = ::LoadLibraryW(L"ntdll.dll");
  if (ntdll == nullptr) return {};
  using ZwQueryKeyFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  const auto query = reinterpret_cast<ZwQueryKeyFn>(
      reinterpret_cast<void*>(::GetProcAddress(ntdll, "ZwQueryKey")));
  std::string path;
  constexpr int kKeyNameInformation = 3;
  ULONG length = 0;
  if (query != nullptr) {
    query(static_cast<HANDLE>(Key), kKeyNameInformation, nullptr, 0, &length);
    if (length > sizeof(ULONG)) {
      std::vector<std::uint8_t> buffer(length + 2, 0);
      if (query(static_cast<HANDLE>(Key), kKeyNameInformation, buffer.data(),
                static_cast<ULONG>(buffer.size()), &length) >= 0) {
        ULONG bytes = 0;
        std::memcpy(&bytes, buffer.data(), sizeof bytes);
        bytes = std::min<ULONG>(bytes, static_cast<ULONG>(buffer.size() - sizeof bytes));
        std::u16string name(bytes / 2, u'\0');
        std::memcpy(name.data(), buffer.data() + sizeof bytes, name.size() * 2);
        path = RegKeyPathBelowRoot(name, Root);
      }
    }
  }
  ::FreeLibrary(ntdll);
  return path;
}

std::string RegReadString(TRegRoot Root, const std::string& Path, const std::string& Name) {
  HKEY key = nullptr;
  const HKEY root = Root == TRegRoot::rrCurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  if (::RegOpenKeyExW(root, ToUtf16(Path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
  const std::wstring name = ToUtf16(Name);
  std::wstring text;
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    // One unit more than asked, so that a text stored without its NUL still ends in one.
    text.assign(size / 2 + 1, L'\0');
    DWORD got = static_cast<DWORD>(text.size() * 2);
    if (::RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                           &got) == ERROR_SUCCESS) {
      text.resize(got / 2);
      if (type == REG_SZ && !text.empty() && text.back() == L'\0') text.pop_back();
    } else {
      text.clear();
    }
  }
  ::RegCloseKey(key);
  return FromUtf16(text);
}

}  // namespace sk::platform::win32
