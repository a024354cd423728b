// The setup classes through SetupAPI and cfgmgr32, bound at run time: one record per device
// of a class, or per device interface of an interface class.
#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

#include <cstring>
#include <vector>

#include "serialkit/platform/setup_devices.h"
#include "serialkit/platform/win32/setup_api.h"
#include "serialkit/platform/win32/utf16.h"

namespace sk::platform {

namespace {

using win32::SetupApiFunction;

using Api = win32::SetupApiBinding;

template <typename Fn>
Fn Bound(const Api& A, SetupApiFunction F) {
  return reinterpret_cast<Fn>(A.Function(F));
}

GUID ToGuid(const TGUID& G) {
  GUID g;
  std::memcpy(&g, &G, sizeof g);
  return g;
}

TGUID FromGuid(const GUID& G) {
  TGUID g;
  g.D1 = G.Data1;
  g.D2 = G.Data2;
  g.D3 = G.Data3;
  std::memcpy(g.D4.data(), G.Data4, sizeof G.Data4);
  return g;
}

static_assert(sizeof(TGUID) == sizeof(GUID));

std::string Utf8(const wchar_t* Text, std::size_t Units) {
  return win32::FromUtf16(std::wstring_view(Text, Units));
}

// One text property: 256 units of room; the text without its NUL, or empty.
std::string GetDevicePropertyString(const Api& A, HDEVINFO Set, SP_DEVINFO_DATA& Device,
                                    DWORD Property) {
  const auto get = Bound<decltype(&::SetupDiGetDeviceRegistryPropertyW)>(
      A, SetupApiFunction::SetupDiGetDeviceRegistryProperty);
  wchar_t buffer[256] = {};
  DWORD required = 0;
  if (!get(Set, &Device, Property, nullptr, reinterpret_cast<BYTE*>(buffer), sizeof buffer,
           &required))
    return {};
  const std::size_t units = required / 2;
  return units == 0 ? std::string() : Utf8(buffer, std::min<std::size_t>(units - 1, 256));
}

std::string GetDeviceIdList(const Api& A, const std::wstring& Id, const std::string& Separator,
                            bool BusRelations) {
  const auto size = Bound<decltype(&::CM_Get_Device_ID_List_SizeW)>(
      A, SetupApiFunction::CM_Get_Device_ID_List_Size);
  const auto list =
      Bound<decltype(&::CM_Get_Device_ID_ListW)>(A, SetupApiFunction::CM_Get_Device_ID_List);
  const ULONG filter =
      BusRelations ? CM_GETIDLIST_FILTER_BUSRELATIONS : CM_GETIDLIST_FILTER_REMOVALRELATIONS;
  ULONG length = 0;
  if (size(&length, Id.c_str(), filter) != CR_SUCCESS || length == 0) return {};
  std::vector<wchar_t> buffer(length, L'\0');
  if (list(Id.c_str(), buffer.data(), length, filter) != CR_SUCCESS) return {};
  return MultiStringJoin(reinterpret_cast<const char16_t*>(buffer.data()), length, Separator);
}

// The texts every record carries.
SetupDeviceRecord Describe(const Api& A, HDEVINFO Set, SP_DEVINFO_DATA& Device) {
  SetupDeviceRecord d;
  d.Driver = GetDevicePropertyString(A, Set, Device, SPDRP_DRIVER);
  d.Service = GetDevicePropertyString(A, Set, Device, SPDRP_SERVICE);
  d.NamePDO = GetDevicePropertyString(A, Set, Device, SPDRP_PHYSICAL_DEVICE_OBJECT_NAME);
  d.Description = GetDevicePropertyString(A, Set, Device, SPDRP_DEVICEDESC);
  d.Manufacturer = GetDevicePropertyString(A, Set, Device, SPDRP_MFG);
  d.GuidClass = FromGuid(Device.ClassGuid);
  return d;
}

void EnumByClass(const Api& A, HDEVINFO Set, const GUID* Guid, bool WithInterface,
                 std::vector<SetupDeviceRecord>& List) {
  const auto enumInfo =
      Bound<decltype(&::SetupDiEnumDeviceInfo)>(A, SetupApiFunction::SetupDiEnumDeviceInfo);
  const auto openKey =
      Bound<decltype(&::SetupDiOpenDevRegKey)>(A, SetupApiFunction::SetupDiOpenDevRegKey);
  const auto instanceId = Bound<decltype(&::SetupDiGetDeviceInstanceIdW)>(
      A, SetupApiFunction::SetupDiGetDeviceInstanceId);
  const auto enumInterfaces = Bound<decltype(&::SetupDiEnumDeviceInterfaces)>(
      A, SetupApiFunction::SetupDiEnumDeviceInterfaces);
  const auto detail = Bound<decltype(&::SetupDiGetDeviceInterfaceDetailW)>(
      A, SetupApiFunction::SetupDiGetDeviceInterfaceDetail);
  for (DWORD index = 0;; ++index) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!enumInfo(Set, index, &device)) break;
    SetupDeviceRecord d = Describe(A, Set, device);

    HKEY key = openKey(Set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (key != nullptr && key != INVALID_HANDLE_VALUE) {
      TRegRoot root = TRegRoot::rrNone;
      d.RegKey = win32::GetRegKeyPath(key, root);
      ::RegCloseKey(key);
      // The values are read below the machine's root whatever root the path came from.
      d.NameSymbolic = win32::RegReadString(TRegRoot::rrLocalMachine, d.RegKey, "SymbolicName");
      d.PortName = win32::RegReadString(TRegRoot::rrLocalMachine, d.RegKey, "PortName");
    }

    wchar_t id[256] = {};
    DWORD required = 0;
    if (instanceId(Set, &device, id, 256, &required) && required != 0) {
      const std::wstring text(id, std::min<DWORD>(required - 1, 255));
      d.InstanceId = win32::FromUtf16(text);
      d.DevInst = device.DevInst;
      d.BusRelations = GetDeviceIdList(A, text, ";", true);
    }

    if (WithInterface && Guid != nullptr) {
      SP_DEVICE_INTERFACE_DATA iface{};
      iface.cbSize = sizeof iface;
      DWORD size = 0;
      if (enumInterfaces(Set, &device, Guid, 0, &iface) &&
          !detail(Set, &iface, nullptr, 0, &size, nullptr) &&
          ::GetLastError() == ERROR_INSUFFICIENT_BUFFER && size != 0) {
        std::vector<std::uint8_t> buffer(size, 0);
        auto* data = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        data->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (detail(Set, &iface, data, size, nullptr, nullptr))
          d.NameSymbolic = win32::FromUtf16(data->DevicePath);
      }
    }
    List.push_back(std::move(d));
  }
}

void EnumByInterface(const Api& A, HDEVINFO Set, const GUID* Guid,
                     std::vector<SetupDeviceRecord>& List) {
  const auto enumInterfaces = Bound<decltype(&::SetupDiEnumDeviceInterfaces)>(
      A, SetupApiFunction::SetupDiEnumDeviceInterfaces);
  const auto detail = Bound<decltype(&::SetupDiGetDeviceInterfaceDetailW)>(
      A, SetupApiFunction::SetupDiGetDeviceInterfaceDetail);
  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof iface;
    if (!enumInterfaces(Set, nullptr, Guid, index, &iface)) break;
    DWORD size = 0;
    if (detail(Set, &iface, nullptr, 0, &size, nullptr) ||
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0)
      continue;
    std::vector<std::uint8_t> buffer(size, 0);
    auto* data = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    data->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!detail(Set, &iface, data, size, nullptr, &device)) continue;
    SetupDeviceRecord d = Describe(A, Set, device);
    d.NameSymbolic = win32::FromUtf16(data->DevicePath);
    List.push_back(std::move(d));
  }
}

}  // namespace

// Each call asks the setup library afresh, as the library keeps its own view of the devices;
// the scope has nothing to share here.
struct SetupEnumerationScope::Cache {};

SetupEnumerationScope::SetupEnumerationScope() : previous_(nullptr) {}

SetupEnumerationScope::~SetupEnumerationScope() = default;

void EnumSetupDevices(const TGUID* ClassGuid, bool PresentOnly, bool ByClass, bool WithInterface,
                      std::vector<SetupDeviceRecord>& List) {
  // One binding for the whole call, even if another is put in place meanwhile.
  Api& A = win32::SetupApi();
  if (!A.Load()) return;
  const auto getClassDevs =
      Bound<decltype(&::SetupDiGetClassDevsW)>(A, SetupApiFunction::SetupDiGetClassDevs);
  const auto destroy = Bound<decltype(&::SetupDiDestroyDeviceInfoList)>(
      A, SetupApiFunction::SetupDiDestroyDeviceInfoList);
  DWORD flags = 0;
  if (PresentOnly) flags |= DIGCF_PRESENT;
  if (WithInterface) flags |= DIGCF_DEVICEINTERFACE;
  if (ClassGuid == nullptr) flags |= DIGCF_ALLCLASSES;
  GUID guid{};
  if (ClassGuid != nullptr) guid = ToGuid(*ClassGuid);
  const GUID* g = ClassGuid != nullptr ? &guid : nullptr;
  HDEVINFO set = getClassDevs(g, nullptr, nullptr, flags);
  if (set == INVALID_HANDLE_VALUE) return;
  if (ByClass)
    EnumByClass(A, set, g, WithInterface, List);
  else
    EnumByInterface(A, set, g, List);
  destroy(set);
}

}  // namespace sk::platform
