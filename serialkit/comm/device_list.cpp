#include "serialkit/comm/device_list.h"

#include <algorithm>

namespace sk {

TskDevice* TskDeviceList::Get(int Index) const {
  std::lock_guard lock(mutex_);
  if (Index < 0 || Index >= static_cast<int>(entries_.size())) return nullptr;
  return entries_[static_cast<std::size_t>(Index)].Object.get();
}

int TskDeviceList::Count() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(entries_.size());
}

int TskDeviceList::IndexOf(const TskDevice* aDevice) const {
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].Object.get() == aDevice) return static_cast<int>(i);
  return -1;
}

int TskDeviceList::IndexOfData(std::int32_t Value) const {
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].Object->Data == Value) return static_cast<int>(i);
  return -1;
}

void TskDeviceList::CopyTo(TskDeviceItems& L) const {
  std::lock_guard lock(mutex_);
  L.clear();
  L.reserve(entries_.size());
  for (const DeviceEntry& e : entries_) L.push_back({e.Name, e.Object.get()});
}

int TskDeviceList::Add(std::unique_ptr<TskDevice> Record) {
  std::lock_guard lock(mutex_);
  const int index = static_cast<int>(entries_.size());
  Record->fIndex = index;
  Record->fParent = fParent;
  std::string name = Record->NameFriendly;
  entries_.push_back({std::move(name), std::move(Record)});
  return index;
}

std::optional<int> TskDeviceList::InsertBefore(std::unique_ptr<TskDevice>& Record) {
  const std::int32_t d = Record->Data;
  std::lock_guard lock(mutex_);
  if (entries_.empty() || entries_.back().Object->Data < d) return std::nullopt;
  const auto at = std::find_if(entries_.begin(), entries_.end(),
                               [d](const DeviceEntry& e) { return e.Object->Data >= d; });
  if (at->Object->Data == d) return -1;
  Record->fIndex = static_cast<std::int32_t>(at - entries_.begin());
  Record->fParent = fParent;
  std::string name = Record->NameFriendly;
  const auto placed = entries_.insert(at, {std::move(name), std::move(Record)});
  for (auto it = placed + 1; it != entries_.end(); ++it) ++it->Object->fIndex;
  return placed->Object->fIndex;
}

void TskDeviceList::Clear() {
  std::vector<DeviceEntry> old;
  {
    std::lock_guard lock(mutex_);
    old.swap(entries_);
  }
  // Destroyed outside the lock: a record's destruction never needs the list.
}

}  // namespace sk
