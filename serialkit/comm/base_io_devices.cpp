// The device list of an I/O component: records in ascending Data, each knowing its position
// and its owner, and the selection and device-change operations around it.
#include <algorithm>

#include "serialkit/comm/base_io.h"
#include "serialkit/platform/device_change.h"

namespace sk {

TskDevice* TskBaseIO::GetDevice(int Index) const {
  std::lock_guard lock(devicesMutex_);
  if (Index < 0 || Index >= static_cast<int>(slDevices.size())) return nullptr;
  return slDevices[static_cast<std::size_t>(Index)].Object.get();
}

int TskBaseIO::DeviceCount() const {
  std::lock_guard lock(devicesMutex_);
  return static_cast<int>(slDevices.size());
}

int TskBaseIO::IndexOfDevice(const TskDevice* aDevice) const {
  std::lock_guard lock(devicesMutex_);
  for (std::size_t i = 0; i < slDevices.size(); ++i)
    if (slDevices[i].Object.get() == aDevice) return static_cast<int>(i);
  return -1;
}

int TskBaseIO::IndexOfDeviceData(std::int32_t Value) const {
  std::lock_guard lock(devicesMutex_);
  for (std::size_t i = 0; i < slDevices.size(); ++i)
    if (slDevices[i].Object->Data == Value) return static_cast<int>(i);
  return -1;
}

void TskBaseIO::GetDeviceList(TskDeviceItems* L) {
  if (DeviceCount() == 0) DeviceListLoad();
  if (L == nullptr) return;
  std::lock_guard lock(devicesMutex_);
  L->clear();
  L->reserve(slDevices.size());
  for (const DeviceEntry& e : slDevices) L->push_back({e.Name, e.Object.get()});
}

int TskBaseIO::DeviceAdd(std::unique_ptr<TskDevice> Record) {
  std::lock_guard lock(devicesMutex_);
  const int index = static_cast<int>(slDevices.size());
  Record->fIndex = index;
  Record->fParent = this;
  std::string name = Record->NameFriendly;
  slDevices.push_back({std::move(name), std::move(Record)});
  return index;
}

int TskBaseIO::DeviceInsert(std::unique_ptr<TskDevice> Record) {
  if (!Record) return -1;
  const std::int32_t d = Record->Data;
  {
    std::unique_lock lock(devicesMutex_);
    if (!slDevices.empty() && slDevices.back().Object->Data >= d) {
      const auto at = std::find_if(slDevices.begin(), slDevices.end(),
                                   [d](const DeviceEntry& e) { return e.Object->Data >= d; });
      if (at->Object->Data == d) return -1;
      Record->fIndex = static_cast<std::int32_t>(at - slDevices.begin());
      Record->fParent = this;
      std::string name = Record->NameFriendly;
      const auto placed = slDevices.insert(at, {std::move(name), std::move(Record)});
      for (auto it = placed + 1; it != slDevices.end(); ++it) ++it->Object->fIndex;
      return placed->Object->fIndex;
    }
  }
  return DeviceAdd(std::move(Record));
}

void TskBaseIO::DeviceListClear() {
  std::vector<DeviceEntry> old;
  {
    std::lock_guard lock(devicesMutex_);
    old.swap(slDevices);
  }
  // Destroyed outside the lock: a record's destruction never needs the list.
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
