#include "serialkit/comm/device_list.h"

#include <algorithm>

namespace sk {

TskDevice* TskDeviceList::Get(int Index) const {
  std::lock_guard lock(fMutex);
  if (Index < 0 || Index >= static_cast<int>(fEntries.size())) return nullptr;
  return fEntries[static_cast<std::size_t>(Index)].Object.get();
}

int TskDeviceList::Count() const {
  std::lock_guard lock(fMutex);
  return static_cast<int>(fEntries.size());
}

int TskDeviceList::IndexOf(const TskDevice* aDevice) const {
  std::lock_guard lock(fMutex);
  for (std::size_t i = 0; i < fEntries.size(); ++i)
    if (fEntries[i].Object.get() == aDevice) return static_cast<int>(i);
  return -1;
}

int TskDeviceList::IndexOfData(std::int32_t Value) const {
  std::lock_guard lock(fMutex);
  for (std::size_t i = 0; i < fEntries.size(); ++i)
    if (fEntries[i].Object->Data == Value) return static_cast<int>(i);
  return -1;
}

void TskDeviceList::CopyTo(TskDeviceItems& L) const {
  std::lock_guard lock(fMutex);
  L.clear();
  L.reserve(fEntries.size());
  for (const DeviceEntry& e : fEntries) L.push_back({e.Name, e.Object.get()});
}

int TskDeviceList::Add(std::unique_ptr<TskDevice> Record) {
  std::lock_guard lock(fMutex);
  const int index = static_cast<int>(fEntries.size());
  Record->fIndex = index;
  Record->fParent = fParent;
  std::string name = Record->NameFriendly;
  fEntries.push_back({std::move(name), std::move(Record)});
  return index;
}

std::optional<int> TskDeviceList::InsertBefore(std::unique_ptr<TskDevice>& Record) {
  const std::int32_t d = Record->Data;
  std::lock_guard lock(fMutex);
  if (fEntries.empty() || fEntries.back().Object->Data < d) return std::nullopt;
  const auto at = std::find_if(fEntries.begin(), fEntries.end(),
                               [d](const DeviceEntry& e) { return e.Object->Data >= d; });
  if (at->Object->Data == d) return -1;
  Record->fIndex = static_cast<std::int32_t>(at - fEntries.begin());
  Record->fParent = fParent;
  std::string name = Record->NameFriendly;
  const auto placed = fEntries.insert(at, {std::move(name), std::move(Record)});
  for (auto it = placed + 1; it != fEntries.end(); ++it) ++it->Object->fIndex;
  return placed->Object->fIndex;
}

void TskDeviceList::Clear() {
  std::vector<DeviceEntry> old;
  {
    std::lock_guard lock(fMutex);
    old.swap(fEntries);
  }
  // Destroyed outside the lock: a record's destruction never needs the list.
}

}  // namespace sk
