#include "serialkit/dataproc/data_packet.h"

#include <algorithm>
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
}

void TskDataPacket::SetPacketEnd(ByteString Value) {
  const std::int32_t length = MarkerLength(Value);
  fPacketEnd = std::move(Value);
  fPacketEndLength = length;
}

TskDataPacketLengthEvent TskDataPacket::OnPacketLength() const {
  return fOnPacketLength ? *fOnPacketLength : TskDataPacketLengthEvent();
}

void TskDataPacket::SetOnPacketLength(TskDataPacketLengthEvent Value) {
  if (Value)
    fOnPacketLength = std::make_shared<const TskDataPacketLengthEvent>(std::move(Value));
  else
    fOnPacketLength.reset();
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
}

void TskDataPacket::Reset() {
  fDataLength = 0;
  fOnPacketLengthOnce = fOnPacketLength;
  ++resetCount_;
  if (!fPacketBegin.empty()) {
    fEvent.SetStr(fPacketBegin);
    fState = dpsWaitBegin;
  } else {
    fState = StateAfterBegin();
  }
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
    const std::uint32_t resets = resetCount_;
    bool IsHandled = false;
    (*handler)(this, ch, IsHandled);
    // A handler that reset its definition has dropped this packet: the byte completes nothing.
    if (resetCount_ != resets) return false;
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

}  // namespace sk
