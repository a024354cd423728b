#pragma once
// One device that an I/O component can be pointed at, and the string list its device list is
// copied into (a display string with its record, in list order).
#include <cstdint>
#include <string>
#include <vector>

#include "serialkit/core/component.h"
#include "serialkit/discovery/guid.h"

namespace sk {

class TskBaseIO;
class TskDeviceList;

class TskDevice : public TPersistent {
 public:
  TskDevice() = default;
  std::string ClassName() const override { return "TskDevice"; }

  // Position in the owner's list and the owner; set when the record enters a list.
  std::int32_t Index() const { return fIndex; }
  TskBaseIO* Parent() const { return fParent; }

  std::uintptr_t Handle = 0;
  std::uintptr_t DevInst = 0;
  // The n of a port name COMn; 4097 upwards for a port named otherwise. Sort key of the list.
  std::int32_t Data = 0;
  std::int32_t DataEx = 0;
  std::string NameFriendly;
  std::string NamePDO;
  std::string NameDeviceDos;
  std::string NameSymbolic;
  std::string RegKey;
  std::string Description;
  std::string Service;
  std::string Driver;
  std::string InstanceId;
  std::string BusRelations;
  std::string PortName;
  std::string Manufacturer;
  std::string SerialNumber;
  platform::TGUID GuidClass;

 private:
  friend class TskDeviceList;
  std::int32_t fIndex = 0;
  TskBaseIO* fParent = nullptr;
};

// One entry of a copy of a device list: the display string and the record, which stays the
// list's.
struct TskDeviceItem {
  std::string Name;
  TskDevice* Object = nullptr;
};
using TskDeviceItems = std::vector<TskDeviceItem>;

}  // namespace sk
