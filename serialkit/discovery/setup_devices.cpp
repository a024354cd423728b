#include "serialkit/discovery/setup_devices.h"

#include "serialkit/platform/setup_devices.h"

namespace sk {

void EnumSetupDevices(const platform::TGUID* ClassGuid, bool PresentOnly, bool ByClass,
                      bool WithInterface, TskSetupDeviceList& List) {
  std::vector<platform::SetupDeviceRecord> found;
  platform::EnumSetupDevices(ClassGuid, PresentOnly, ByClass, WithInterface, found);
  for (platform::SetupDeviceRecord& f : found) {
    auto d = std::make_unique<TskDevice>();
    d->Driver = std::move(f.Driver);
    d->Service = std::move(f.Service);
    d->NamePDO = std::move(f.NamePDO);
    d->Description = std::move(f.Description);
    d->Manufacturer = std::move(f.Manufacturer);
    d->RegKey = std::move(f.RegKey);
    d->NameSymbolic = std::move(f.NameSymbolic);
    d->PortName = std::move(f.PortName);
    d->InstanceId = std::move(f.InstanceId);
    d->DevInst = f.DevInst;
    d->BusRelations = std::move(f.BusRelations);
    d->SerialNumber = std::move(f.SerialNumber);
    d->GuidClass = f.GuidClass;
    std::string key = d->Driver;
    List.push_back({std::move(key), std::move(d)});
  }
}

}  // namespace sk
