#include "serialkit/dataproc/data_packet.h"

namespace sk {

TskDataPacket& TskDataPackets::AddItem(TskDataPacket* Item, std::int32_t Index) {
  if (Item == nullptr) {
    if (Index >= 0) CheckIndex(Index, Count() + 1);
    TskDataPacket& made = Add();
    made.SetIndex(Index);
    return made;
  }
  if (Index >= 0) CheckIndex(Index, Item->Collection() == this ? Count() : Count() + 1);
  Item->SetCollection(*this);
  Item->SetIndex(Index);
  return *Item;
}

std::int32_t TskDataPackets::IsPacket(Byte ch) {
  bool possible = false;
  // Count is read again for every definition: a length handler may remove some.
  for (std::size_t i = 0; i < static_cast<std::size_t>(Count()); ++i) {
    TskDataPacket& packet = At(i);
    if (packet.IsPacket(ch)) return Completed(i, possible);
    if (packet.IsPossible()) possible = true;
  }
  fIsPacketPossible = possible;
  return -1;
}

std::int32_t TskDataPackets::Completed(std::size_t Index, bool Possible) {
  fIsPacketPossible = Possible;
  const auto index = static_cast<std::int32_t>(Index);
  if (At(Index).fResetOthers) ResetAllExcept(index);
  return index;
}

void TskDataPackets::Reset() {
  for (std::int32_t i = 0; i < Count(); ++i) At(static_cast<std::size_t>(i)).Reset();
}

std::int32_t TskDataPackets::TimeoutPacketIndex() {
  for (std::int32_t i = 0; i < Count(); ++i) {
    TskDataPacket& packet = At(static_cast<std::size_t>(i));
    if (packet.IsTimeoutPacket()) {
      if (packet.fResetOthers) ResetAllExcept(i);
      return i;
    }
  }
  return -1;
}

void TskDataPackets::ResetAllExcept(std::int32_t Index) {
  for (std::int32_t i = 0; i < Count(); ++i)
    if (i != Index) At(static_cast<std::size_t>(i)).Reset();
}

std::unique_ptr<TCollectionItem> TskDataPackets::CreateItem() const {
  return std::make_unique<TskDataPacket>(ItemKey());
}

bool TskDataPackets::Accepts(const TCollectionItem& Item) const {
  return dynamic_cast<const TskDataPacket*>(&Item) != nullptr;
}

}  // namespace sk
