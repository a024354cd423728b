#pragma once
// SetupAPI.dll and cfgmgr32.dll bound at run time by name, so that a program works (with
// plain port lists) where they are missing. The rules of the binding live in
// SetupApiBinding over a replaceable module loader; the process has one binding over the
// system's loader, made on first use and kept until the process ends.
#include <array>
#include <cstddef>
#include <mutex>
#include <string>

#include "serialkit/discovery/setup_api_text.h"

namespace sk::platform::win32 {

// Loads a library by name, finds its functions, unloads it: the system's loader, or a test's.
class ModuleLoader {
 public:
  virtual ~ModuleLoader() = default;
  virtual void* Load(const std::string& Library) = 0;
  virtual void* Find(void* Module, const std::string& Name) = 0;
  virtual void Unload(void* Module) = 0;
};
ModuleLoader& SystemModuleLoader();

// The functions of the binding, in the order they are looked up.
enum class SetupApiFunction : std::size_t {
  SetupDiGetClassDevs,
  SetupDiDestroyDeviceInfoList,
  SetupDiEnumDeviceInfo,
  SetupDiGetDeviceRegistryProperty,
  SetupDiOpenDevRegKey,
  SetupDiEnumDeviceInterfaces,
  SetupDiGetDeviceInterfaceDetail,
  SetupDiCreateDeviceInfoList,
  SetupDiCreateDeviceInfo,
  SetupDiGetINFClass,
  SetupDiSetDeviceRegistryProperty,
  SetupDiCallClassInstaller,
  SetupDiGetDeviceInstanceId,
  SetupDiRemoveDevice,
  SetupDiUnremoveDevice,
  SetupDiOpenDeviceInfo,
  SetupDiSetClassInstallParams,
  CM_Locate_DevNode,
  CM_Get_DevNode_Registry_Property,
  CM_Get_Parent,
  CM_Get_Device_ID_List_Size,
  CM_Get_Device_ID_List,
  CM_Get_Child,
  CM_Get_Sibling,
  CM_Request_Device_Eject,
  Count
};

struct SetupApiEntry {
  const char* Name;  // as stored; a name with Wide set goes through WideApiName
  bool Wide;
  bool Required;       // its absence fails the binding
  bool ConfigManager;  // from SetupAPI.dll when it has CM_Locate_DevNodeW, else cfgmgr32.dll
};
extern const std::array<SetupApiEntry, static_cast<std::size_t>(SetupApiFunction::Count)>
    kSetupApiTable;

inline constexpr const char* kSetupApiLibrary = "SetupAPI.dll";
inline constexpr const char* kConfigManagerLibrary = "cfgmgr32.dll";

class SetupApiBinding {
 public:
  explicit SetupApiBinding(ModuleLoader& Loader) : loader_(Loader) {}
  // Unloads both libraries when bound.
  ~SetupApiBinding();
  SetupApiBinding(const SetupApiBinding&) = delete;
  SetupApiBinding& operator=(const SetupApiBinding&) = delete;

  // Binds both libraries unless bound already; true when usable. A missing required
  // function unloads both again and leaves nothing bound, so the next call tries afresh.
  bool Load();
  // The entry point of F; null when unbound or when an optional function is missing.
  void* Function(SetupApiFunction F) const;

 private:
  void Forget();

  mutable std::mutex mutex_;
  ModuleLoader& loader_;
  void* setupApi_ = nullptr;
  void* configManager_ = nullptr;
  std::array<void*, static_cast<std::size_t>(SetupApiFunction::Count)> entries_{};
};

// The binding the enumeration uses: the process's own over the system's loader, unless
// another was put in its place. UseSetupApi puts Binding there (null: the process's own again)
// and gives the one it replaces; a test uses it to run the enumeration over a setup library
// that lacks a function.
SetupApiBinding& SetupApi();
SetupApiBinding* UseSetupApi(SetupApiBinding* Binding);
bool LoadSetupApi();

// The path of an open registry key (an HKEY) below its root, from the system's name of the
// key (ntdll's ZwQueryKey); empty, with no root, when the key or the query is unusable.
std::string GetRegKeyPath(void* Key, TRegRoot& Root);

// A text value Name of the key Path below Root; empty when the key or value cannot be read.
std::string RegReadString(TRegRoot Root, const std::string& Path, const std::string& Name);

}  // namespace sk::platform::win32
