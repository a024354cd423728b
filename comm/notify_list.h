#pragma once
// The notify list of an I/O component: subscribers told when the port opens (2), closes (1)
// or its selection changes (3). A subscriber is one handler of one object: the same handler
// of another object is another subscriber.
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "core/component.h"
#include "core/event.h"

namespace sk {

using TskNotifyEvent = TEvent<void(TObject* Sender, std::int32_t Code)>;

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
  // Removes the entry at Index. An index out of range throws sk::Exception.
  void Delete(int Index);
  void Clear();
  TskNotifyEvent Get(int Index) const;
  void Put(int Index, const TskNotifyEvent& Item);
  // The first entry with the same handler of the same object as Item; -1 if none.
  int IndexOf(const TskNotifyEvent& Item) const;
  int Count() const;
  // Calls every entry with (Sender, Code) from index 0. Entries added meanwhile are not
  // called; the calls stop early when subscribers removed entries meanwhile.
  void Call(TObject* Sender, std::int32_t Code);

 private:
  void CheckIndex(int Index) const;  // with mutex_ held

  mutable std::mutex mutex_;
  // Each subscription is an entry of its own, as subscribers hold no index into the list.
  std::vector<std::unique_ptr<TskNotifyEvent>> entries_;
};

}  // namespace sk
