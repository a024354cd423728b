#pragma once
// The notify list of an I/O component: subscribers told when the port opens (2), closes (1)
// or its selection changes (3). A subscriber is one handler of one object: the same handler
// of another object is another subscriber.
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "serialkit/core/component.h"
#include "serialkit/core/event.h"

namespace sk {

using TskNotifyEvent = TEvent<void(TObject* Sender, std::int32_t Code)>;

// The codes a notify list carries.
enum TskNotifyCode : std::int32_t {
  ncPortClosed = 1,
  ncPortOpened = 2,
  // The port number (selection) or the device list changed.
  ncDeviceChanged = 3,
};

// Thread-safe: the port may notify from a worker thread while the main thread subscribes.
// No lock is held while a subscriber runs, so a subscriber may change the list.
class TskNotifyList {
 public:
  TskNotifyList() = default;
  ~TskNotifyList();
  TskNotifyList(const TskNotifyList&) = delete;
  TskNotifyList& operator=(const TskNotifyList&) = delete;

  // Appends Item; result its index.
  int Add(const TskNotifyEvent& Item);
  // Appends Item unless the same handler of the same object is there, in one step; false
  // when it was there.
  bool AddUnique(const TskNotifyEvent& Item);
  // Removes the first entry with the same handler of the same object as Item, in one step;
  // false when there was none.
  bool Remove(const TskNotifyEvent& Item);
  // Removes every entry whose handler belongs to Object.
  void RemoveObject(const void* Object);
  // Removes the entry at Index. An index out of range throws sk::Exception.
  void Delete(int Index);
  void Clear();
  TskNotifyEvent Get(int Index) const;
  void Put(int Index, const TskNotifyEvent& Item);
  // The first entry with the same handler of the same object as Item; -1 if none.
  int IndexOf(const TskNotifyEvent& Item) const;
  int Count() const;
  // Calls every entry with (Sender, Code) from index 0, the entries being those in the list
  // when the call began: one that a subscriber removes meanwhile is not called any more, one
  // added meanwhile not yet, and the others each once.
  void Call(TObject* Sender, std::int32_t Code);

 private:
  void CheckIndex(int Index) const;  // with mutex_ held

  mutable std::mutex mutex_;
  struct Entry {
    std::uint64_t serial;  // tells an entry apart from a later one at the same address
    TskNotifyEvent event;
  };
  std::vector<std::unique_ptr<Entry>> entries_;
  std::uint64_t nextSerial_ = 1;
};

}  // namespace sk
