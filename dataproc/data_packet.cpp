#include "dataproc/data_packet.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace sk {

namespace {

std::int32_t MarkerLength(const ByteString& Marker) {
  if (Marker.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
    throw Exception("Packet marker too long");
  return static_cast<std::int32_t>(Marker.size());
}

}  // namespace

TskDataPacket::TskDataPacket(CreateKey Key) : TCollectionItem(Key) {
  SetPacketLengthMax(DefaultPacketLengthMax);
}

void TskDataPacket::SetPacketBegin(ByteString Value) {
  const std::int32_t length = MarkerLength(Value);
  fPacketBegin = std::move(Value);
  fPacketBeginLength = length;
  // The whole marker is put into the buffer when it matches, so the buffer must hold it.
  if (fPacketBeginLength > fPacketLengthMax) ReallocateBuffer(fPacketBeginLength);
  Changed();
}

void TskDataPacket::SetPacketEnd(ByteString Value) {
  const std::int32_t length = MarkerLength(Value);
  fPacketEnd = std::move(Value);
  fPacketEndLength = length;
  Changed();
}

TskDataPacketLengthEvent TskDataPacket::OnPacketLength() const {
  return fOnPacketLength ? *fOnPacketLength : TskDataPacketLengthEvent();
}

void TskDataPacket::SetOnPacketLength(TskDataPacketLengthEvent Value) {
  if (Value)
    fOnPacketLength = std::make_shared<const TskDataPacketLengthEvent>(std::move(Value));
  else
    fOnPacketLength.reset();
  Changed();
}

ByteString TskDataPacket::GetData() const {
  return ByteString(fDataBuffer.get(), fDataBuffer.get() + fDataLength);
}

void TskDataPacket::SetPacketLengthMax(std::int32_t Value) {
  Value = std::max({Value, MinPacketLengthMax, fPacketBeginLength});
  if (Value == fPacketLengthMax) return;
  ReallocateBuffer(Value);
}

void TskDataPacket::ReallocateBuffer(std::int32_t Size) {
  auto fresh = std::make_unique<Byte[]>(static_cast<std::size_t>(Size));  // zero-filled
  // Keep what has been collected as far as it fits: a packet in progress goes on with its
  // real bytes, and its length never runs past the new buffer.
  const std::int32_t kept = std::min(fDataLength, Size);
  if (kept > 0) std::memcpy(fresh.get(), fDataBuffer.get(), static_cast<std::size_t>(kept));
  fDataBuffer = std::move(fresh);
  fPacketLengthMax = Size;
  fDataLength = kept;
  Changed();
}

void TskDataPacket::Reset() {
  fDataLength = 0;
  fOnPacketLengthOnce = fOnPacketLength;
  ++fResetCount;
  if (!fPacketBegin.empty()) {
    fEvent.SetStr(fPacketBegin);
    fState = dpsWaitBegin;
  } else {
    fState = StateAfterBegin();
  }
  Changed();
}

TskDataPacketState TskDataPacket::StateAfterBegin() {
  if (!fPacketEnd.empty()) {
    fEvent.SetStr(fPacketEnd);
    return dpsWaitEnd;
  }
  if (fPacketLength > 0 || fOnPacketLengthOnce) return dpsWaitLength;
  if (fByTimeout) return dpsWaitTimeout;
  return dpsInactive;
}

bool TskDataPacket::LengthReached(Byte ch) {
  if (fOnPacketLengthOnce) {
    // Held here, so that a handler that resets this definition is not destroyed while it runs.
    const std::shared_ptr<const TskDataPacketLengthEvent> handler = fOnPacketLengthOnce;
    const std::uint32_t resets = fResetCount;
    bool IsHandled = false;
    (*handler)(this, ch, IsHandled);
    // A handler that reset its definition has dropped this packet: the byte completes nothing.
    if (fResetCount != resets) return false;
    if (!IsHandled) return false;
    fOnPacketLengthOnce.reset();
  }
  return fDataLength >= fPacketLength;
}

bool TskDataPacket::BeginMatched() {
  // The marker as defined: wildcard positions hold the wildcard, not the byte received.
  std::copy(fPacketBegin.begin(), fPacketBegin.end(), fDataBuffer.get());
  fDataLength = fPacketBeginLength;
  fState = StateAfterBegin();
  const bool complete = fState == dpsInactive || (fState == dpsWaitLength && fPacketLength > 0 &&
                                                  fDataLength >= fPacketLength);
  if (complete) KeepTail();
  return complete;
}

bool TskDataPacket::IsPacketCollecting(Byte ch) {
  if (!fActive) return false;
  bool complete = false;
  switch (fState) {
    case dpsWaitLength:
      StoreByte(ch);
      complete = LengthReached(ch);
      break;
    case dpsWaitEnd:
      return EndStep(ch);
    case dpsWaitTimeout:
      StoreByte(ch);
      return false;
    case dpsInactive:
    case dpsWaitBegin:  // only while not Active
      return false;
  }
  if (complete) KeepTail();
  return complete;
}

void TskDataPacket::KeepTail() {
  if (!fPacketBegin.empty() || fState == dpsWaitLength || fPacketLength <= 0 ||
      fDataLength <= fPacketLength)
    return;
  Byte* buffer = fDataBuffer.get();
  std::memmove(buffer, buffer + (fDataLength - fPacketLength),
               static_cast<std::size_t>(fPacketLength));
  fDataLength = fPacketLength;
}

bool TskDataPacket::IsTimeoutPacket() {
  if (!fByTimeout) return false;
  KeepTail();
  return fDataLength > 0;
}

void TskDataPacket::Assign(const TPersistent& Source) {
  const auto* from = dynamic_cast<const TskDataPacket*>(&Source);
  if (from == nullptr) {
    TCollectionItem::Assign(Source);  // refuses every other kind
    return;
  }
  SetActive(from->fActive);
  SetResetOthers(from->fResetOthers);
  SetCaption(from->fCaption);
  SetPacketBegin(from->fPacketBegin);
  SetPacketEnd(from->fPacketEnd);
  SetPacketLength(from->fPacketLength);
}

std::string TskDataPacket::GetDisplayName() const {
  const bool visible = std::any_of(fCaption.begin(), fCaption.end(),
                                   [](char c) { return static_cast<unsigned char>(c) > 32; });
  return visible ? fCaption : ClassName();
}

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
  if (!fSummaryValid) Summarize();
  if (!fSummaryValid) return IsPacketFrom(ch, 0, false);
  std::uint64_t busy = fBusy;
  std::uint64_t possible = fPossible;
  std::uint64_t todo = busy | fStarts[ch];
  while (todo != 0) {
    const auto i = static_cast<std::size_t>(std::countr_zero(todo));
    todo &= todo - 1;
    const std::uint64_t bit = std::uint64_t{1} << i;
    TskDataPacket& packet = *fSummaryItems[i];
    bool complete = false;
    if ((fBeginLanes & bit) != 0) {
      // Most bytes end here: a begin marker without wildcard being matched, no handler involved.
      if (!packet.fEvent.IsEvent(ch, 0)) {
        const std::uint64_t matching = packet.fEvent.IsPossible() ? bit : 0;
        busy = (busy & ~bit) | matching;
        possible = (possible & ~bit) | matching;
        continue;
      }
      fBeginLanes &= ~bit;
      complete = packet.BeginMatched();
    } else if ((fEndLanes & bit) != 0) {
      // Collecting up to the end marker: stays busy until reset.
      complete = packet.EndStep(ch);
      const std::uint64_t pending = packet.IsPossible() ? bit : 0;
      possible = (possible & ~bit) | pending;
      if (!complete) continue;
    } else {
      complete = packet.Offer(ch);
      if (!fSummaryValid) {
        // A length handler changed definitions: go on without the summary.
        fBusy = busy;
        fPossible = possible;
        const bool before = (possible & (bit - 1)) != 0;
        if (complete) return Completed(i, before);
        return IsPacketFrom(ch, i + 1, before || packet.IsPossible());
      }
    }
    const unsigned status = packet.Status();
    busy = (busy & ~bit) | (std::uint64_t{status & 1u} << i);
    possible = (possible & ~bit) | (std::uint64_t{status >> 1} << i);
    if (complete) {
      fBusy = busy;
      fPossible = possible;
      return Completed(i, (possible & (bit - 1)) != 0);
    }
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
  fBusy = 0;
  fPossible = 0;
  fBeginLanes = 0;
  fEndLanes = 0;
  const auto count = static_cast<std::size_t>(Count());
  if (count > kSummaryMax) return;  // every byte goes to every definition
  for (std::size_t i = 0; i < count; ++i) {
    TskDataPacket& packet = At(i);
    fSummaryItems[i] = &packet;
    const unsigned status = packet.Status();
    fBusy |= std::uint64_t{status & 1u} << i;
    fPossible |= std::uint64_t{status >> 1} << i;
    if (packet.fActive && packet.fState == dpsWaitBegin && packet.fWildChar == 0)
      fBeginLanes |= std::uint64_t{1} << i;
    if (packet.fActive && packet.fState == dpsWaitEnd) fEndLanes |= std::uint64_t{1} << i;
    Byte first = 0;
    if (packet.StartByte(first)) {
      if (fStarts[first] == 0) fStartBytes[fStartCount++] = first;
      fStarts[first] |= std::uint64_t{1} << i;
    }
  }
  fSummaryValid = true;
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
