#pragma once
// An ordered collection that owns its items, and the item base that knows its collection and
// its position in it. Items are created by the collection (one item class per collection
// class) and can be moved to another collection of the same kind.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "serialkit/core/component.h"

namespace sk {

class TCollection;

class TCollectionItem : public TPersistent {
 public:
  // Only a collection makes items, so that every item has exactly one collection.
  class CreateKey {
    friend class TCollection;
    CreateKey() = default;
  };

  explicit TCollectionItem(CreateKey) {}
  TCollectionItem(const TCollectionItem&) = delete;
  TCollectionItem& operator=(const TCollectionItem&) = delete;

  TCollection* Collection() const { return collection_; }
  // Moves this item to the end of Value; fails if Value holds another kind of item.
  void SetCollection(TCollection& Value);

  std::int32_t Index() const;
  // Moves this item to position Value of its collection (a negative value: the last one).
  void SetIndex(std::int32_t Value);

  // The name under which the item is shown; the class name unless a descendant knows better.
  virtual std::string GetDisplayName() const { return ClassName(); }
  std::string ClassName() const override { return "TCollectionItem"; }

 private:
  friend class TCollection;
  TCollection* collection_ = nullptr;
};

class TCollection : public TPersistent {
 public:
  TCollection() = default;
  ~TCollection() override;
  TCollection(const TCollection&) = delete;
  TCollection& operator=(const TCollection&) = delete;

  std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
  TCollectionItem& Items(std::int32_t Index) const { return *items_[CheckIndex(Index, Count())]; }

  TCollectionItem& Add();
  // A new item at Index (a negative value: the last position).
  TCollectionItem& Insert(std::int32_t Index);
  // Destroys the item at Index.
  void Delete(std::int32_t Index);
  // Destroys every item, the last first.
  void Clear();

  // From another collection: this one then holds an assigned copy of each of its items. Built
  // aside first, so that an item that refuses its source leaves this collection unchanged.
  void Assign(const TPersistent& Source) override;
  std::string ClassName() const override { return "TCollection"; }

 protected:
  // The item class of this collection.
  virtual std::unique_ptr<TCollectionItem> CreateItem() const = 0;
  virtual bool Accepts(const TCollectionItem& Item) const = 0;
  static TCollectionItem::CreateKey ItemKey() { return {}; }

  // Unchecked access for loops that run per received byte.
  TCollectionItem& ItemAt(std::size_t Index) const { return *items_[Index]; }

  // Index checked against a collection of Size items; throws otherwise.
  static std::size_t CheckIndex(std::int32_t Index, std::int32_t Size);

 private:
  friend class TCollectionItem;
  TCollectionItem& Append(std::unique_ptr<TCollectionItem> Item);
  std::unique_ptr<TCollectionItem> Extract(const TCollectionItem& Item);
  void Move(std::int32_t From, std::int32_t To);

  std::vector<std::unique_ptr<TCollectionItem>> items_;
};

}  // namespace sk
