#include "serialkit/dataproc/collection.h"

#include <algorithm>
#include <iterator>

namespace sk {

void TCollectionItem::SetCollection(TCollection& Value) {
  if (collection_ == &Value) return;
  if (!Value.Accepts(*this))
    throw Exception("A " + ClassName() + " cannot be moved into a " + Value.ClassName());
  Value.Append(collection_->Extract(*this));
}

std::int32_t TCollectionItem::Index() const {
  const auto& items = collection_->items_;
  auto it =
      std::find_if(items.begin(), items.end(), [this](const auto& p) { return p.get() == this; });
  return static_cast<std::int32_t>(std::distance(items.begin(), it));
}

void TCollectionItem::SetIndex(std::int32_t Value) {
  if (Value < 0) Value = collection_->Count() - 1;
  collection_->Move(
      Index(), static_cast<std::int32_t>(TCollection::CheckIndex(Value, collection_->Count())));
}

TCollection::~TCollection() {
  Clear();
}

std::size_t TCollection::CheckIndex(std::int32_t Index, std::int32_t Size) {
  if (Index < 0 || Index >= Size)
    throw Exception("List index out of bounds (" + std::to_string(Index) + ")");
  return static_cast<std::size_t>(Index);
}

TCollectionItem& TCollection::Add() {
  return Append(CreateItem());
}

TCollectionItem& TCollection::Insert(std::int32_t Index) {
  if (Index >= 0) CheckIndex(Index, Count() + 1);
  TCollectionItem& item = Add();
  if (Index >= 0) Move(Count() - 1, Index);
  return item;
}

void TCollection::Delete(std::int32_t Index) {
  auto it = items_.begin() + static_cast<std::ptrdiff_t>(CheckIndex(Index, Count()));
  std::unique_ptr<TCollectionItem> gone = std::move(*it);
  items_.erase(it);
  // Destroyed after it has left the list, so that it never shows up half torn down.
  gone.reset();
}

void TCollection::Clear() {
  while (!items_.empty()) {
    std::unique_ptr<TCollectionItem> last = std::move(items_.back());
    items_.pop_back();
    last.reset();
  }
}

void TCollection::Assign(const TPersistent& Source) {
  const auto* other = dynamic_cast<const TCollection*>(&Source);
  if (other == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  if (other == this) return;
  std::vector<std::unique_ptr<TCollectionItem>> made;
  made.reserve(other->items_.size());
  for (const auto& from : other->items_) {
    made.push_back(CreateItem());
    made.back()->Assign(*from);
  }
  Clear();
  for (auto& item : made) Append(std::move(item));
}

TCollectionItem& TCollection::Append(std::unique_ptr<TCollectionItem> Item) {
  Item->collection_ = this;
  items_.push_back(std::move(Item));
  return *items_.back();
}

std::unique_ptr<TCollectionItem> TCollection::Extract(const TCollectionItem& Item) {
  auto it = items_.begin() + Item.Index();
  std::unique_ptr<TCollectionItem> taken = std::move(*it);
  items_.erase(it);
  taken->collection_ = nullptr;
  return taken;
}

void TCollection::Move(std::int32_t From, std::int32_t To) {
  if (From == To) return;
  auto first = items_.begin();
  if (From < To)
    std::rotate(first + From, first + From + 1, first + To + 1);
  else
    std::rotate(first + To, first + From, first + From + 1);
}

}  // namespace sk
