#pragma once
// The machine's plug-and-play devices of one setup class or device-interface class, with the
// texts that give a serial port a description and tell where its device lives. Backed by the
// system's setup library where there is one; an empty result is always acceptable.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "serialkit/discovery/guid.h"

namespace sk::platform {

struct SetupDeviceRecord {
  std::string Driver;  // a key unique per device
  std::string Service;
  std::string NamePDO;
  std::string Description;
  std::string Manufacturer;
  std::string RegKey;
  std::string NameSymbolic;
  std::string PortName;
  std::string InstanceId;
  std::uintptr_t DevInst = 0;
  std::string BusRelations;
  std::string SerialNumber;
  TGUID GuidClass;
};

// Appends one record per device of the class ClassGuid (ByClass) or per device interface
// of the interface class ClassGuid (not ByClass), in discovery order. PresentOnly leaves out
// devices that are installed but not attached. Never fails: what cannot be read is empty.
void EnumSetupDevices(const TGUID* ClassGuid, bool PresentOnly, bool ByClass, bool WithInterface,
                      std::vector<SetupDeviceRecord>& List);

// While one lives in a thread, that thread's EnumSetupDevices calls share one reading of the
// machine's devices instead of reading them once per class, and the machine's port map read
// there lists the same ports; nothing is kept after it ends. On Windows every call asks the
// setup library afresh, and the scope changes nothing.
class SetupEnumerationScope {
 public:
  SetupEnumerationScope();
  ~SetupEnumerationScope();
  SetupEnumerationScope(const SetupEnumerationScope&) = delete;
  SetupEnumerationScope& operator=(const SetupEnumerationScope&) = delete;

  struct Cache;

 private:
  Cache* previous_;
  std::unique_ptr<Cache> cache_;
};

}  // namespace sk::platform
