#include <algorithm>
#include <bit>

#include "serialkit/dataproc/data_packet.h"

namespace sk {

namespace {

std::uint64_t Bit(std::size_t Index) {
  return std::uint64_t{1} << Index;
}
// Bits 0 to Index.
std::uint64_t UpTo(std::size_t Index) {
  return ~std::uint64_t{0} >> (63 - Index);
}

}  // namespace

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

std::int32_t TskDataPackets::IsPacketSlow(Byte ch) {
  if (!fSummaryValid || fRegroup) Summarize();
  if (!fSummaryValid) return IsPacketFrom(ch, 0, false);
  const std::uint64_t busyBefore = fBusy;
  const std::uint64_t possibleBefore = fPossible;
  std::uint64_t busy = fBusy;
  std::uint64_t possible = fPossible;
  std::uint64_t copied = 0;  // followers that took their leader's step
  std::uint64_t todo = busy | fStarts[ch];
  // The byte stops at Index, or goes on without the summary: followers after Index must not
  // have taken a step, and no longer stand where a leader that did step stands.
  auto undoCopiesAfter = [&](std::size_t Index) {
    fSynced &= UpTo(Index);
    std::uint64_t undo = copied & ~UpTo(Index);
    if (undo == 0) return;
    busy = (busy & ~undo) | (busyBefore & undo);
    possible = (possible & ~undo) | (possibleBefore & undo);
    for (; undo != 0; undo &= undo - 1) {
      const auto j = static_cast<std::size_t>(std::countr_zero(undo));
      fSummaryItems[j]->fEvent.SetPosition(fGroupFrom[fLeaderOf[j]]);
    }
  };
  auto finish = [&](std::size_t Index, bool Complete) -> std::int32_t {
    undoCopiesAfter(Index);
    fBusy = busy;
    fPossible = possible;
    return Complete ? Completed(Index, (possible & (Bit(Index) - 1)) != 0) : -1;
  };

  while (todo != 0) {
    const auto i = static_cast<std::size_t>(std::countr_zero(todo));
    todo &= todo - 1;
    const std::uint64_t bit = Bit(i);
    TskDataPacket& packet = *fSummaryItems[i];
    bool complete = false;
    if ((fBeginLanes & bit) != 0) {
      // Most bytes end here: a begin marker without wildcard being matched, no handler involved.
      TCommEventNew& matcher = packet.fEvent;
      const std::int32_t from = matcher.Position();
      if (!matcher.IsEvent(ch, 0)) {
        const std::uint64_t matching = matcher.IsPossible() ? bit : 0;
        busy = (busy & ~bit) | matching;
        possible = (possible & ~bit) | matching;
        if (fLeaderOf[i] != i) {
          // A follower that stepped on its own: it follows again once it stands where its
          // leader stands.
          const bool level = matcher.Position() == fSummaryItems[fLeaderOf[i]]->fEvent.Position();
          fSynced = level ? fSynced | bit : fSynced & ~bit;
        }
        const std::uint64_t followers = fFollowersOf[i] & fSynced & todo;
        if (followers != 0 && from <= fGroupSafe[i]) {
          // Followers compare the same pattern byte as their leader: they take its step.
          fGroupFrom[i] = from;
          const std::int32_t to = matcher.Position();
          for (std::uint64_t f = followers; f != 0; f &= f - 1)
            fSummaryItems[std::countr_zero(f)]->fEvent.SetPosition(to);
          busy = (busy & ~followers) | (matching != 0 ? followers : 0);
          possible = (possible & ~followers) | (matching != 0 ? followers : 0);
          todo &= ~followers;
          copied |= followers;
        }
        continue;
      }
      fBeginLanes &= ~bit;
      fSynced &= ~bit;
      if (fFollowersOf[i] != 0) fRegroup = true;  // its followers need another leader
      complete = packet.BeginMatched();
      if (packet.fState == dpsWaitEnd) fEndLanes |= bit;
    } else if ((fEndLanes & bit) != 0) {
      // Collecting up to the end marker: stays busy until reset.
      complete = packet.EndStep(ch);
      possible = (possible & ~bit) | (packet.IsPossible() ? bit : 0);
      if (!complete) continue;
    } else {
      // The length handler may reset or change any definition, and the ones after this one
      // must meet the byte as it leaves them: followers that took a leader's step give it
      // back and step on their own.
      if (const std::uint64_t later = copied & ~UpTo(i); later != 0 && packet.MayCallHandler()) {
        undoCopiesAfter(i);
        copied &= ~later;
        todo |= later;
      }
      complete = packet.Offer(ch);
      if (!fSummaryValid) {
        // A length handler changed definitions: go on without the summary.
        const bool before = (possible & (bit - 1)) != 0;
        finish(i, false);
        if (complete) return Completed(i, before);
        return IsPacketFrom(ch, i + 1, before || packet.IsPossible());
      }
    }
    const unsigned status = packet.Status();
    busy = (busy & ~bit) | (std::uint64_t{status & 1u} << i);
    possible = (possible & ~bit) | (std::uint64_t{status >> 1} << i);
    if (complete) return finish(i, true);
  }
  fBusy = busy;
  fPossible = possible;
  fIsPacketPossible = possible != 0;
  return -1;
}

std::int32_t TskDataPackets::IsPacketFrom(Byte ch, std::size_t First, bool Possible) {
  const auto count = static_cast<std::size_t>(Count());
  for (std::size_t i = First; i < count; ++i) {
    TskDataPacket& packet = At(i);
    if (packet.Offer(ch)) return Completed(i, Possible);
    if (packet.IsPossible()) Possible = true;
  }
  fIsPacketPossible = Possible;
  return -1;
}

std::int32_t TskDataPackets::Completed(std::size_t Index, bool Possible) {
  fIsPacketPossible = Possible;
  const auto index = static_cast<std::int32_t>(Index);
  if (At(Index).fResetOthers) ResetAllExcept(index);
  return index;
}

void TskDataPackets::Summarize() {
  for (std::size_t i = 0; i < fStartCount; ++i) fStarts[fStartBytes[i]] = 0;
  fStartCount = 0;
  fBusy = fPossible = fBeginLanes = fEndLanes = fSynced = 0;
  fRegroup = false;
  const auto count = static_cast<std::size_t>(Count());
  if (count > kSummaryMax) return;  // every byte goes to every definition
  for (std::size_t i = 0; i < count; ++i) {
    TskDataPacket& packet = At(i);
    fSummaryItems[i] = &packet;
    fFollowersOf[i] = 0;
    fLeaderOf[i] = static_cast<std::uint8_t>(i);
    const unsigned status = packet.Status();
    fBusy |= std::uint64_t{status & 1u} << i;
    fPossible |= std::uint64_t{status >> 1} << i;
    if (packet.fActive && packet.fState == dpsWaitEnd) fEndLanes |= Bit(i);
    Byte first = 0;
    if (!packet.StartByte(first)) continue;
    if (fStarts[first] == 0) fStartBytes[fStartCount++] = first;
    if (packet.fWildChar == 0) {
      if (const std::uint64_t leaders = fStarts[first] & fBeginLanes; leaders != 0)
        Follow(i, static_cast<std::size_t>(std::countr_zero(leaders)));
      fBeginLanes |= Bit(i);
    }
    fStarts[first] |= Bit(i);
  }
  fSummaryValid = true;
}

void TskDataPackets::Follow(std::size_t Follower, std::size_t Leader) {
  // The first definition waiting for a begin marker with this first byte leads; the others
  // compare the same pattern bytes as long as both markers agree, and neither ends there.
  const ByteString& lead = fSummaryItems[Leader]->fEvent.Str();
  const ByteString& mine = fSummaryItems[Follower]->fEvent.Str();
  std::size_t common = 0;
  while (common < lead.size() && common < mine.size() && lead[common] == mine[common]) ++common;
  const auto safe = static_cast<std::int32_t>(std::min({common, lead.size() - 1, mine.size() - 1}));
  if (safe < 1) return;
  const bool grouped = fFollowersOf[Leader] != 0;
  fGroupSafe[Leader] = grouped ? std::min(fGroupSafe[Leader], safe) : safe;
  fFollowersOf[Leader] |= Bit(Follower);
  fLeaderOf[Follower] = static_cast<std::uint8_t>(Leader);
  if (fSummaryItems[Follower]->fEvent.Position() == fSummaryItems[Leader]->fEvent.Position())
    fSynced |= Bit(Follower);
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
