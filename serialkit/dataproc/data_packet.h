#pragma once
// Packet definitions: each describes one kind of packet in the received byte stream (begin
// marker, end marker, length, silence, or a combination) and collects the bytes of one such
// packet as they arrive. The collection offers every byte to its definitions in order and
// tells its processor which one, if any, has just completed a packet.
#include <array>
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
  void SetActive(bool Value) {
    fActive = Value;
    Changed();
  }
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
  void SetPacketLength(std::int32_t Value) {
    fPacketLength = Value;
    Changed();
  }
  bool PacketEndByTimeout() const { return fByTimeout; }
  void SetPacketEndByTimeout(bool Value) {
    fByTimeout = Value;
    Changed();
  }
  TskDataPacketLengthEvent OnPacketLength() const;
  void SetOnPacketLength(TskDataPacketLengthEvent Value);
  std::int32_t Tag() const { return fTag; }
  void SetTag(std::int32_t Value) { fTag = Value; }
  Byte WildChar() const { return fWildChar; }
  void SetWildChar(Byte Value) {
    fWildChar = Value;
    Changed();
  }

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
    Changed();
    return Offer(ch);
  }
  // A partial packet or a partial marker is pending.
  bool IsPossible() const { return fDataLength > 0 || fEvent.IsPossible(); }

  // Copies Active, ResetOthers, Caption, the markers and PacketLength from another definition.
  void Assign(const TPersistent& Source) override;
  std::string GetDisplayName() const override;
  std::string ClassName() const override { return "TskDataPacket"; }

 private:
  friend class TskDataPackets;

  // IsPacket without telling the collection, which keeps track itself.
  bool Offer(Byte ch) {
    // Waiting for the begin marker is where nearly every byte ends: kept inline and short.
    if (fState == dpsWaitBegin && fActive) {
      if (!fEvent.IsEvent(ch, fWildChar)) return false;
      return BeginMatched();
    }
    return IsPacketCollecting(ch);
  }
  // Bit 0: a byte other than the first byte of the begin marker may change this definition
  // (it is not quiet). Bit 1: IsPossible.
  unsigned Status() const {
    if (fState == dpsWaitBegin && fActive && fWildChar == 0) {
      // Nothing is collected while waiting for the begin marker: only the matcher counts.
      const unsigned matching = fEvent.IsPossible() ? 1u : 0u;
      return matching | matching << 1;
    }
    const bool quiet = !fActive || fState == dpsInactive ||
                       (fState == dpsWaitBegin && !fEvent.IsPossible() && !WildFirst());
    return (quiet ? 0u : 1u) | (IsPossible() ? 2u : 0u);
  }
  // The byte that wakes a quiet definition waiting for its begin marker, if any.
  bool StartByte(Byte& First) const {
    if (!fActive || fState != dpsWaitBegin || fEvent.Len() == 0 || WildFirst()) return false;
    First = fEvent.Str()[0];
    return true;
  }
  // The next byte goes to the length handler, which may change any definition.
  bool MayCallHandler() const {
    return fActive && fState == dpsWaitLength && fOnPacketLengthOnce != nullptr;
  }
  bool WildFirst() const {
    return fWildChar != 0 && fEvent.Len() > 0 && fEvent.Str()[0] == fWildChar;
  }
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
  std::uint32_t fResetCount = 0;
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
  std::int32_t IsPacket(Byte ch) {
    // A byte that wakes no definition changes nothing.
    if (fSummaryValid && !fRegroup && (fBusy | fStarts[ch]) == 0) {
      fIsPacketPossible = fPossible != 0;
      return -1;
    }
    return IsPacketSlow(ch);
  }
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
  void Update(TCollectionItem*) override { fSummaryValid = false; }

 private:
  static constexpr std::size_t kSummaryMax = 64;

  TskDataPacket& At(std::size_t Index) const { return static_cast<TskDataPacket&>(ItemAt(Index)); }
  std::int32_t IsPacketSlow(Byte ch);
  // Offers the byte to every definition from First on, as the framing rules put it.
  std::int32_t IsPacketFrom(Byte ch, std::size_t First, bool Possible);
  std::int32_t Completed(std::size_t Index, bool Possible);
  void Summarize();
  void Follow(std::size_t Follower, std::size_t Leader);

  bool fIsPacketPossible = false;
  TskDataProtocol* fDataProcessor;

  // Which definitions a byte can change, so that a byte is offered only to those: a quiet
  // definition skips every byte but the first byte of its begin marker, and skipping it changes
  // nothing. Any change to a definition from outside the byte loop makes the summary invalid;
  // it is rebuilt at the next byte. Bit i stands for definition i (up to 64 definitions).
  bool fSummaryValid = false;
  std::uint64_t fBusy = 0;                   // definitions that are not quiet
  std::uint64_t fPossible = 0;               // definitions whose IsPossible is true
  std::uint64_t fBeginLanes = 0;             // active, waiting for a begin marker without wildcard
  std::uint64_t fEndLanes = 0;               // active, waiting for the end marker
  std::array<std::uint64_t, 256> fStarts{};  // quiet definitions woken by each byte
  std::array<Byte, kSummaryMax> fStartBytes{};  // the entries of fStarts in use
  std::array<TskDataPacket*, kSummaryMax> fSummaryItems{};
  std::size_t fStartCount = 0;
  // Definitions waiting for begin markers that start alike step together: the first of them
  // (the leader) is matched, and each follower standing at the same position takes its step
  // while the pattern bytes compared are common to both and neither marker can end.
  std::uint64_t fSynced = 0;  // followers at their leader's position
  bool fRegroup = false;      // a leader has found its marker: group again at the next byte
  std::array<std::uint8_t, kSummaryMax> fLeaderOf{};
  std::array<std::uint64_t, kSummaryMax> fFollowersOf{};
  std::array<std::int32_t, kSummaryMax> fGroupSafe{};  // highest position followers step alike
  std::array<std::int32_t, kSummaryMax> fGroupFrom{};  // leader's position before this byte
};

}  // namespace sk
