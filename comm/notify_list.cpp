#include "comm/notify_list.h"

#include <string>

namespace sk {

TskNotifyList::~TskNotifyList() {
  Clear();
}

void TskNotifyList::CheckIndex(int Index) const {
  if (Index < 0 || static_cast<std::size_t>(Index) >= entries_.size())
    throw Exception("List index out of bounds (" + std::to_string(Index) + ")");
}

int TskNotifyList::Add(const TskNotifyEvent& Item) {
  std::lock_guard lock(mutex_);
  entries_.push_back(std::make_unique<TskNotifyEvent>(Item));
  return static_cast<int>(entries_.size()) - 1;
}

void TskNotifyList::Delete(int Index) {
  std::unique_ptr<TskNotifyEvent> released;
  std::lock_guard lock(mutex_);
  CheckIndex(Index);
  released = std::move(entries_[static_cast<std::size_t>(Index)]);
  entries_.erase(entries_.begin() + Index);
}

void TskNotifyList::Clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
}

TskNotifyEvent TskNotifyList::Get(int Index) const {
  std::lock_guard lock(mutex_);
  CheckIndex(Index);
  return *entries_[static_cast<std::size_t>(Index)];
}

void TskNotifyList::Put(int Index, const TskNotifyEvent& Item) {
  std::lock_guard lock(mutex_);
  CheckIndex(Index);
  *entries_[static_cast<std::size_t>(Index)] = Item;
}

int TskNotifyList::IndexOf(const TskNotifyEvent& Item) const {
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i]->SameHandler(Item)) return static_cast<int>(i);
  return -1;
}

int TskNotifyList::Count() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(entries_.size());
}

void TskNotifyList::Call(TObject* Sender, std::int32_t Code) {
  const int count = Count();
  for (int i = 0; i < count; ++i) {
    TskNotifyEvent event;
    {
      std::lock_guard lock(mutex_);
      if (static_cast<std::size_t>(i) >= entries_.size()) break;
      event = *entries_[static_cast<std::size_t>(i)];
    }
    if (event) event(Sender, Code);
  }
}

}  // namespace sk
