#pragma once
// Enumerations, sets and event types of the I/O component family.
#include <cstdint>

#include "serialkit/core/bytes.h"
#include "serialkit/core/component.h"
#include "serialkit/core/event.h"
#include "serialkit/core/fatal_error.h"

namespace sk {

// The ordinal is the DCB Parity value (NOPARITY .. SPACEPARITY).
enum TParity : std::uint8_t { pNone, pOdd, pEven, pMark, pSpace };
// The ordinal is the DCB StopBits value (ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS).
enum TStopBits : std::uint8_t { sbOne, sbOneAndHalf, sbTwo };
enum TStreamProtocol : std::uint8_t { spNone, spXonXoff, spHardware };
enum TComPort : std::uint8_t {
  cpCOM1,
  cpCOM2,
  cpCOM3,
  cpCOM4,
  cpCOM5,
  cpCOM6,
  cpCOM7,
  cpCOM8,
  cpCOMxx
};
enum TskEnumPorts : std::uint8_t { epQuickAll, epFullInfo, epFullPresent };
enum TTerminalUsage : std::uint8_t { tuNone, tuSend, tuReceive, tuBoth };
enum TThreadPriority : std::uint8_t {
  tpIdle,
  tpLowest,
  tpLower,
  tpNormal,
  tpHigher,
  tpHighest,
  tpTimeCritical
};

// Member n of a set is bit n of its word.
enum TTraceState : std::uint8_t {
  tsRxChar,
  tsRxFlag,
  tsTxEmpty,
  tsCTS,
  tsDSR,
  tsRLSD,
  tsBreak,
  tsErr,
  tsRing,
  tsRx80Full,
  tsEvent1,
  tsEvent2
};
using TTraceStates = std::uint16_t;

enum TModemSignal : std::uint8_t { msCTS, msDSR, msRing, msRLSD };
using TModemSignals = std::uint8_t;

// The COMSTAT hold flags, bits 0 to 6 of its flag word.
enum TComStateFlag : std::uint8_t {
  fCtlHold,
  fDsrHold,
  fRlsHold,
  fXoffHold,
  fXOffSent,
  fEof,
  fTxim
};
using TComStateFlags = std::uint32_t;

// What a data processor tells the port to skip of its own uses of a received chunk.
enum TIgnoreType : std::uint8_t { itTerminal, itEventList, itAfterReceive, itTraceState };
using TIgnoreTypes = std::uint8_t;

// Set helpers: InSet(ts, tsCTS), Include(ts, tsCTS), SetOf<TTraceStates>(tsCTS, tsDSR).
template <class Set, class E>
constexpr bool InSet(Set s, E e) {
  return (s >> static_cast<unsigned>(e)) & 1u;
}
template <class Set, class E>
constexpr void Include(Set& s, E e) {
  s = static_cast<Set>(s | (Set{1} << static_cast<unsigned>(e)));
}
template <class Set, class E>
constexpr void Exclude(Set& s, E e) {
  s = static_cast<Set>(s & ~(Set{1} << static_cast<unsigned>(e)));
}
template <class Set, class... E>
constexpr Set SetOf(E... e) {
  return static_cast<Set>((Set{0} | ... | static_cast<Set>(Set{1} << static_cast<unsigned>(e))));
}

// Events. Com/Sender is the component that raises them.
using TOnReceived = TEvent<void(TObject* Com, const Byte* Buffer, std::uint32_t Received)>;
using TOnSent = TEvent<void(TObject* Com)>;
using TOnTraceEvent = TEvent<void(TObject* Com, TTraceStates Event)>;
using TOnCommErrorEvent = TEvent<void(TObject* Com, std::uint32_t CommCode, std::uint32_t SysError,
                                      TComStateFlags State, bool& flFlashBuffers)>;

}  // namespace sk
