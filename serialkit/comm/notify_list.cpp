#include "serialkit/comm/notify_list.h"

#include <algorithm>
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
  entries_.push_back(std::make_unique<Entry>(Entry{nextSerial_++, Item}));
  return static_cast<int>(entries_.size()) - 1;
}

bool TskNotifyList::AddUnique(const TskNotifyEvent& Item) {
  std::lock_guard lock(mutex_);
  if (std::any_of(entries_.begin(), entries_.end(),
                  [&](const auto& e) { return e->event.SameHandler(Item); }))
    return false;
  entries_.push_back(std::make_unique<Entry>(Entry{nextSerial_++, Item}));
  return true;
}

bool TskNotifyList::Remove(const TskNotifyEvent& Item) {
  std::unique_ptr<Entry> released;
  std::lock_guard lock(mutex_);
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [&](const auto& e) { return e->event.SameHandler(Item); });
  if (it == entries_.end()) return false;
  released = std::move(*it);
  entries_.erase(it);
  return true;
}

void TskNotifyList::RemoveObject(const void* Object) {
  std::vector<std::unique_ptr<Entry>> released;
  std::lock_guard lock(mutex_);
  for (auto it = entries_.begin(); it != entries_.end();) {
    if ((*it)->event.Object() == Object) {
      released.push_back(std::move(*it));
      it = entries_.erase(it);
    } else {
      ++it;
    }
  }
}

void TskNotifyList::Delete(int Index) {
  std::unique_ptr<Entry> released;
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
  return entries_[static_cast<std::size_t>(Index)]->event;
}

void TskNotifyList::Put(int Index, const TskNotifyEvent& Item) {
  std::lock_guard lock(mutex_);
  CheckIndex(Index);
  entries_[static_cast<std::size_t>(Index)]->event = Item;
}

int TskNotifyList::IndexOf(const TskNotifyEvent& Item) const {
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i]->event.SameHandler(Item)) return static_cast<int>(i);
  return -1;
}

int TskNotifyList::Count() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(entries_.size());
}

void TskNotifyList::Call(TObject* Sender, std::int32_t Code) {
  std::vector<std::uint64_t> serials;
  {
    std::lock_guard lock(mutex_);
    serials.reserve(entries_.size());
    for (const auto& e : entries_) serials.push_back(e->serial);
  }
  for (std::uint64_t serial : serials) {
    TskNotifyEvent event;
    {
      std::lock_guard lock(mutex_);
      auto it = std::find_if(entries_.begin(), entries_.end(),
                             [serial](const auto& e) { return e->serial == serial; });
      if (it == entries_.end()) continue;
      event = (*it)->event;
    }
    if (event) event(Sender, Code);
  }
}

}  // namespace sk
