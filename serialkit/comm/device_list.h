#pragma once
// The device list of an I/O component: the records it owns, in ascending Data, each knowing
// its position and its owner. Guarded, since a reopen in a worker thread reads it while the
// GUI reloads it.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "serialkit/discovery/device.h"

namespace sk {

class TskBaseIO;

class TskDeviceList {
 public:
  explicit TskDeviceList(TskBaseIO* Parent) : fParent(Parent) {}
  TskDeviceList(const TskDeviceList&) = delete;
  TskDeviceList& operator=(const TskDeviceList&) = delete;

  // Null when Index is out of range.
  TskDevice* Get(int Index) const;
  int Count() const;
  // The position of that very record (identity, not contents); -1 if absent.
  int IndexOf(const TskDevice* aDevice) const;
  // The position of the first entry whose Data equals Value; -1 if none.
  int IndexOfData(std::int32_t Value) const;
  // Replaces L's contents by every entry's display string and record, in list order.
  void CopyTo(TskDeviceItems& L) const;

  // Appends Record; it takes its position and the parent. Result: the position.
  int Add(std::unique_ptr<TskDevice> Record);
  // Places Record before the first entry with a greater Data: its position, or -1 when an
  // entry has its Data already (Record stays the caller's). Nothing when Record belongs at
  // the end, as the last entry's Data is lower or the list is empty.
  std::optional<int> InsertBefore(std::unique_ptr<TskDevice>& Record);
  // Destroys every record and empties the list.
  void Clear();

 private:
  // Each entry's display string as it was when the entry was made, and the record.
  struct DeviceEntry {
    std::string Name;
    std::unique_ptr<TskDevice> Object;
  };
  TskBaseIO* const fParent;
  mutable std::mutex mutex_;
  std::vector<DeviceEntry> entries_;
};

}  // namespace sk
