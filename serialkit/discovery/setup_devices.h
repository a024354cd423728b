#pragma once
// Setup-device enumeration for the port list: the classes serial ports are found under, in
// the order they are asked, and the records of one class as device records.
#include <array>

#include "serialkit/discovery/setup_device_list.h"
#include "serialkit/discovery/guid.h"
#include "serialkit/platform/setup_classes.h"

namespace sk {

struct TskSetupClass {
  platform::TGUID Guid;
  bool ByClass;
  bool WithInterface;
};

inline constexpr std::array<TskSetupClass, 11> kSerialSetupClasses{{
    {platform::GUID_DEVINTERFACE_MODEM, false, true},
    {platform::GUID_DEVINTERFACE_COMPORT, false, true},
    {platform::GUID_DEVINTERFACE_SERENUM_BUS_ENUMERATOR, false, true},
    {platform::GUID_DEVCLASS_PORTS, true, false},
    {platform::GUID_DEVCLASS_INFRARED, true, false},
    {platform::GUID_DEVCLASS_ADAPTER, true, false},
    {platform::GUID_DEVCLASS_BLUETOOTH, true, false},
    {platform::GUID_DEVCLASS_MODEM, true, false},
    {platform::GUID_DEVCLASS_MULTIFUNCTION, true, false},
    {platform::GUID_DEVCLASS_MULTIPORTSERIAL, true, false},
    {platform::GUID_DEVCLASS_LEGACYDRIVER, true, false},
}};

// Appends one record per device (ByClass) or device interface of ClassGuid (none: every
// class), keyed by its Driver text. Nothing when the platform has nothing to tell.
void EnumSetupDevices(const platform::TGUID* ClassGuid, bool PresentOnly, bool ByClass,
                      bool WithInterface, TskSetupDeviceList& List);

}  // namespace sk
