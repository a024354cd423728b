// The serial port's device list: the machine's ports, and the selection as a port number.
#include "serialkit/comm/serial_comm.h"
#include "serialkit/discovery/port_list.h"
#include "serialkit/discovery/port_loader.h"
#include "serialkit/discovery/setup_devices.h"
#include "serialkit/platform/setup_devices.h"

namespace sk {

int TskCustomSerialComm::GetDeviceIndex() const {
  return IndexOfDeviceData(fComPortNo);
}

void TskCustomSerialComm::DoSetDeviceIndex(int Value) {
  const TskDevice* device = GetDevice(Value);
  if (device == nullptr) return;
  SetComPortNo(static_cast<std::uint16_t>(device->Data & 0xFFFF));
}

void TskCustomSerialComm::Update() {
  DeviceListClear();
  GetDeviceList(nullptr);
  TskCustomComm::Update();
}

void TskCustomSerialComm::DeviceListLoad() {
  const TskEnumPorts mode = EnumPorts();
  const bool withDevices = mode != epQuickAll;
  const bool presentOnly = mode == epFullPresent;
  TskSetupDeviceList devices;
  // The classes are views of the same devices: read the machine once for all of them.
  const platform::SetupEnumerationScope oneReading;
  if (withDevices)
    for (const TskSetupClass& c : kSerialSetupClasses)
      EnumSetupDevices(&c.Guid, presentOnly, c.ByClass, c.WithInterface, devices);
  TskPortList ports;
  GetSerialPortList(ports, true);
  JoinPortsAndDevices(
      ports, devices, withDevices, presentOnly,
      [this](std::unique_ptr<TskDevice> Record) { return DeviceInsert(std::move(Record)); });
}

}  // namespace sk
