#pragma once
// Packet definitions: each describes one kind of packet in the received byte stream (begin
// marker, end marker, length, silence, or a combination) and collects the bytes of one such
// packet as they arrive. The collection offers every byte to its definitions in order and
// tells its processor which one, if any, has just completed a packet.
#include <cstdint>
#include <memory>
#include <string>

#include "serialkit/core/bytes.h"
#include "serialkit/core/event.h"
#include "serialkit/dataproc/collection.h"
#include "serialkit/dataproc/comm_event_new.h"

namespace sk {

class TskDataPacket;
class TskDataPackets;
class TskDataProtocol;

enum TskDataPacketState : std::uint8_t {
  dpsInactive = 0,
  dpsWaitBegin = 1,
  dpsWaitLength = 2,
  dpsWaitEnd = 3,
  dpsWaitTimeout = 4,
};

// Asked for every byte of a packet in dpsWaitLength until it sets IsHandled; it may set the
// packet's PacketLength meanwhile.
using TskDataPacketLengthEvent = TEvent<void(TskDataPacket* Packet, Byte chData, bool& IsHandled)>;

class TskDataPacket : public TCollectionItem {
 public:
  static constexpr std::int32_t MinPacketLengthMax = 512;
  static constexpr std::int32_t DefaultPacketLengthMax = 16384;

  // Made by TskDataPackets (Add, Insert, AddItem); detects nothing until its first Reset.
  explicit TskDataPacket(CreateKey Key);

  bool Active() const { return fActive; }
  void SetActive(bool Value) { fActive = Value; }
  bool ResetOthers() const { return fResetOthers; }
  void SetResetOthers(bool Value) { fResetOthers = Value; }
  const std::string& Caption() const { return fCaption; }
  void SetCaption(std::string Value) { fCaption = std::move(Value); }
  const ByteString& PacketBegin() const { return fPacketBegin; }
  // A marker longer than PacketLengthMax grows the buffer to hold it.
  void SetPacketBegin(ByteString Value);
  const ByteString& PacketEnd() const { return fPacketEnd; }
  void SetPacketEnd(ByteString Value);
  std::int32_t PacketLength() const { return fPacketLength; }
  void SetPacketLength(std::int32_t Value) { fPacketLength = Value; }
  bool PacketEndByTimeout() const { return fByTimeout; }
  void SetPacketEndByTimeout(bool Value) { fByTimeout = Value; }
  TskDataPacketLengthEvent OnPacketLength() const;
  void SetOnPacketLength(TskDataPacketLengthEvent Value);
  std::int32_t Tag() const { return fTag; }
  void SetTag(std::int32_t Value) { fTag = Value; }
  Byte WildChar() const { return fWildChar; }
  void SetWildChar(Byte Value) { fWildChar = Value; }

  // The collected bytes of the current packet; valid until the definition is reset.
  ByteString Data() const { return GetData(); }
  ByteString GetData() const;
  const Byte* DataPtr() const { return fDataBuffer.get(); }
  std::int32_t DataLength() const { return fDataLength; }
  // An over-long packet: the byte that finds the buffer full discards what was collected
  // (and is not kept itself); the definition goes on waiting for its end marker, so a later end
  // marker completes a packet of only the bytes that came after.
  std::int32_t PacketLengthMax() const { return fPacketLengthMax; }
  // Raised to 512 and to the begin marker's length; the collected bytes that fit are kept.
  void SetPacketLengthMax(std::int32_t Value);
  std::int32_t PacketBeginLength() const { return fPacketBeginLength; }
  std::int32_t PacketEndLength() const { return fPacketEndLength; }
  TskDataPacketState State() const { return fState; }

  // Drops the current packet and waits for the next one.
  void Reset();
  // Offers one received byte; true when it completes a packet.
  bool IsPacket(Byte ch) {
    // Waiting for the begin marker is where nearly every byte ends: kept inline and short.
    if (fState == dpsWaitBegin && fActive) {
      if (!fEvent.IsEvent(ch, fWildChar)) return false;
      return BeginMatched();
    }
    return IsPacketCollecting(ch);
  }
  // A partial packet or a partial marker is pending.
  bool IsPossible() const { return fDataLength > 0 || fEvent.IsPossible(); }

  // Copies Active, ResetOthers, Caption, the markers and PacketLength from another definition.
  void Assign(const TPersistent& Source) override;
  std::string GetDisplayName() const override;
  std::string ClassName() const override { return "TskDataPacket"; }

 private:
  friend class TskDataPackets;

  TskDataPacketState StateAfterBegin();
  // Without a begin marker, a length-limited packet keeps only its last PacketLength bytes.
  void KeepTail();
  // Ends the packet on the processor's silence timeout; true when there is something to report.
  bool IsTimeoutPacket();
  bool BeginMatched();
  bool IsPacketCollecting(Byte ch);
  void StoreByte(Byte ch) {
    if (fDataLength < fPacketLengthMax) {
      fDataBuffer[static_cast<std::size_t>(fDataLength++)] = ch;
      return;
    }
    // The byte that finds the buffer full discards what was collected, itself included;
    // collecting starts again with the next byte, still waiting for the end marker.
    fDataLength = 0;
  }
  // One byte in dpsWaitEnd (Active): stored, then offered to the end marker.
  bool EndStep(Byte ch) {
    StoreByte(ch);
    if (!fEvent.IsEvent(ch, fWildChar)) return false;
    KeepTail();
    return true;
  }
  bool LengthReached(Byte ch);
  void ReallocateBuffer(std::int32_t Size);

  std::string fCaption;
  ByteString fPacketBegin;
  ByteString fPacketEnd;
  std::int32_t fPacketLength = 0;
  bool fActive = true;
  bool fResetOthers = false;
  TCommEventNew fEvent;
  TskDataPacketState fState = dpsInactive;
  std::unique_ptr<Byte[]> fDataBuffer;
  std::int32_t fDataLength = 0;
  bool fByTimeout = false;
  // Shared, so that arming the working copy at every reset allocates nothing and a handler
  // that resets its own definition is not destroyed while it runs.
  std::shared_ptr<const TskDataPacketLengthEvent> fOnPacketLength;
  std::shared_ptr<const TskDataPacketLengthEvent> fOnPacketLengthOnce;
  std::int32_t fPacketLengthMax = 0;
  std::int32_t fTag = 0;
  std::int32_t fPacketBeginLength = 0;
  std::int32_t fPacketEndLength = 0;
  Byte fWildChar = 0;
  // Counts resets, so that a length handler that resets its own definition is noticed.
  std::uint32_t resetCount_ = 0;
};

class TskDataPackets : public TCollection {
 public:
  // DataProcessor is the owning processor (may be none outside a processor).
  explicit TskDataPackets(TskDataProtocol* DataProcessor = nullptr)
      : fDataProcessor(DataProcessor) {}

  TskDataProtocol* DataProcessor() const { return fDataProcessor; }
  TskDataProtocol* Owner() const { return fDataProcessor; }

  TskDataPacket& Add() { return static_cast<TskDataPacket&>(TCollection::Add()); }
  // Item none: a new definition; an item of another collection is moved here. Then the item
  // goes to position Index (negative: the last one).
  TskDataPacket& AddItem(TskDataPacket* Item, std::int32_t Index);
  TskDataPacket& Insert(std::int32_t Index) { return AddItem(nullptr, Index); }
  TskDataPacket& Items(std::int32_t Index) const {
    return static_cast<TskDataPacket&>(TCollection::Items(Index));
  }
  void SetItems(std::int32_t Index, const TskDataPacket& Value) { Items(Index).Assign(Value); }

  // Offers one received byte to the definitions in order; the index of the one it completed,
  // or -1. Definitions after the completing one do not see the byte.
  std::int32_t IsPacket(Byte ch);
  // Whether a definition looked at by the last IsPacket holds a partial packet or marker.
  bool IsPacketPossible() const { return fIsPacketPossible; }
  void Reset();
  // The first definition that ends on the silence timeout, or -1.
  std::int32_t TimeoutPacketIndex();
  void ResetAllExcept(std::int32_t Index);

  std::string ClassName() const override { return "TskDataPackets"; }

 protected:
  std::unique_ptr<TCollectionItem> CreateItem() const override;
  bool Accepts(const TCollectionItem& Item) const override;

 private:
  TskDataPacket& At(std::size_t Index) const { return static_cast<TskDataPacket&>(ItemAt(Index)); }
  std::int32_t Completed(std::size_t Index, bool Possible);

  bool fIsPacketPossible = false;
  TskDataProtocol* fDataProcessor;
};

}  // namespace sk
