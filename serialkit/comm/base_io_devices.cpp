// The device list of an I/O component (comm/device_list.h) and the selection and device-change
// operations around it.
#include "serialkit/comm/base_io.h"
#include "serialkit/platform/device_change.h"

namespace sk {

TskDevice* TskBaseIO::GetDevice(int Index) const {
  return slDevices.Get(Index);
}

int TskBaseIO::DeviceCount() const {
  return slDevices.Count();
}

int TskBaseIO::IndexOfDevice(const TskDevice* aDevice) const {
  return slDevices.IndexOf(aDevice);
}

int TskBaseIO::IndexOfDeviceData(std::int32_t Value) const {
  return slDevices.IndexOfData(Value);
}

void TskBaseIO::GetDeviceList(TskDeviceItems* L) {
  if (DeviceCount() == 0) DeviceListLoad();
  if (L != nullptr) slDevices.CopyTo(*L);
}

int TskBaseIO::DeviceAdd(std::unique_ptr<TskDevice> Record) {
  return slDevices.Add(std::move(Record));
}

int TskBaseIO::DeviceInsert(std::unique_ptr<TskDevice> Record) {
  if (!Record) return -1;
  if (const auto placed = slDevices.InsertBefore(Record)) return *placed;
  return DeviceAdd(std::move(Record));
}

void TskBaseIO::DeviceListClear() {
  slDevices.Clear();
}

void TskBaseIO::Update() {
  DoNotify(ncDeviceChanged);
}

void TskBaseIO::DoSetDeviceIndex(int) {
  DoNotify(ncDeviceChanged);
}

bool TskBaseIO::WMDeviceChange(platform::TDeviceChangeMessage& Msg) {
  using namespace platform;
  if (Msg.Msg != WM_DEVICECHANGE) return false;
  if (Msg.WParam == DBT_DEVNODES_CHANGED) {
    Update();
    return true;
  }
  if ((Msg.WParam == DBT_DEVICEARRIVAL || Msg.WParam == DBT_DEVICEREMOVECOMPLETE) &&
      Msg.LParam != nullptr && Msg.LParam->dbch_devicetype == DBT_DEVTYP_PORT) {
    Update();
    return true;
  }
  return false;
}

}  // namespace sk
