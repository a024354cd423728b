#pragma once
// A deliberately plain model of packet framing, written straight from the framing rules with
// growable vectors instead of a fixed buffer, to check the real definitions against.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace packet_fuzz {

using Bytes = std::vector<std::uint8_t>;

enum ModelState { Inactive, WaitBegin, WaitLength, WaitEnd, WaitTimeout };

// The length handler both sides use: handled on bytes divisible by 4 (of the letters only the
// zero byte, so that the handler is asked about several bytes of a packet), and on those
// divisible by 8 it also sets the packet length.
inline void LengthRule(std::uint8_t ch, std::int32_t& length, bool& handled) {
  if (ch % 4 != 0) return;
  handled = true;
  if (ch % 8 == 0) length = ch % 11;
}

// The same handler also resets a definition now and then, counted on from its own (of count
// definitions; it may come round to its own), or none.
inline int ResetBy(std::uint8_t ch, std::size_t own, std::size_t count) {
  if (ch % 7 != 0) return -1;
  return static_cast<int>((own + 1 + ch / 7) % count);
}

// What a handler does besides answering for its own packet, to any definition: run from the
// length handler when it is asked about the byte trigger, and from the packet handler (the
// processor's report, before it resets the definition) when the packet ends in trigger; with
// always, every time.
struct HandlerAction {
  enum Kind : std::uint8_t { ResetAll, Reset, Toggle, SetBegin, SetEnd, SetLength, SetWild };
  Kind kind = ResetAll;
  bool always = false;
  std::uint8_t trigger = 0;
  std::size_t target = 0;
  Bytes marker;             // SetBegin, SetEnd
  std::int32_t length = 0;  // SetLength
  std::uint8_t wild = 0;    // SetWild
};

struct ModelPacket {
  Bytes begin, end;
  std::int32_t length = 0;
  bool active = true;
  bool resetOthers = false;
  bool byTimeout = false;
  bool hasHandler = false;
  std::uint8_t wild = 0;
  std::size_t max = 16384;
  std::vector<HandlerAction> lengthActions, packetActions;

  ModelState state = Inactive;
  Bytes data;
  Bytes pattern;            // what the matcher looks for
  std::size_t matched = 0;  // pattern bytes matched so far
  bool handlerArmed = false;
  std::size_t resets = 0;
  std::size_t discards = 0;  // full-buffer discards, to tell how far a run reached

  void SetBegin(const Bytes& b) {
    begin = b;
    max = std::max(max, b.size());
  }
  void SetMax(std::int32_t v) {
    max = std::max<std::size_t>({static_cast<std::size_t>(std::max(v, 512)), begin.size()});
    if (data.size() > max) data.resize(max);
  }

  bool Matches(std::uint8_t patternByte, std::uint8_t ch) const {
    return patternByte == ch || (wild != 0 && patternByte == wild);
  }
  bool Match(std::uint8_t ch) {
    if (pattern.empty()) return false;
    if (Matches(pattern[matched], ch)) {
      if (++matched < pattern.size()) return false;
      matched = 0;
      return true;
    }
    matched = Matches(pattern[0], ch) ? 1 : 0;
    return false;
  }
  void Load(const Bytes& p) {
    pattern = p;
    matched = 0;
  }

  ModelState AfterBegin() {
    if (!end.empty()) {
      Load(end);
      return WaitEnd;
    }
    if (length > 0 || handlerArmed) return WaitLength;
    if (byTimeout) return WaitTimeout;
    return Inactive;
  }

  void Reset() {
    ++resets;
    data.clear();
    handlerArmed = hasHandler;
    if (!begin.empty()) {
      Load(begin);
      state = WaitBegin;
    } else {
      state = AfterBegin();
    }
  }

  bool Possible() const { return !data.empty() || matched > 0; }

  void KeepTail() {
    if (begin.empty() && state != WaitLength && length > 0 &&
        data.size() > static_cast<std::size_t>(length))
      data.erase(data.begin(), data.end() - length);
  }

  // Handler(handled) is the length handler's call, which may change any definition.
  template <class Handler>
  bool Byte(std::uint8_t ch, Handler&& handler) {
    if (!active || state == Inactive) return false;
    if (state != WaitBegin) {
      if (data.size() < max) {
        data.push_back(ch);
      } else {
        data.clear();
        ++discards;
      }
    }
    bool done = false;
    if (state == WaitTimeout) return false;
    if (state == WaitLength) {
      bool handled = true;
      if (handlerArmed) {
        handled = false;
        const std::size_t before = resets;
        handler(handled);
        // Reset by its own handler, the definition has dropped the packet the byte was for.
        if (resets != before) return false;
        if (handled) handlerArmed = false;
      }
      done = handled && static_cast<std::int64_t>(data.size()) >= length;
    } else if (state == WaitEnd) {
      done = Match(ch);
    } else if (Match(ch)) {  // WaitBegin
      data = begin;
      state = AfterBegin();
      done = state == Inactive ||
             (state == WaitLength && length > 0 && data.size() >= static_cast<std::size_t>(length));
    }
    if (done) KeepTail();
    return done;
  }

  bool Timeout() {
    if (!byTimeout) return false;
    KeepTail();
    return !data.empty();
  }
};

struct ModelPackets {
  std::vector<ModelPacket> items;
  bool possible = false;
  std::size_t actionsRun = 0;

  void ResetAllExcept(std::size_t keep) {
    for (std::size_t i = 0; i < items.size(); ++i)
      if (i != keep) items[i].Reset();
  }
  void Apply(const HandlerAction& a) {
    ModelPacket& t = items[a.target];
    switch (a.kind) {
      case HandlerAction::ResetAll:
        for (auto& m : items) m.Reset();
        return;
      case HandlerAction::Reset:
        return t.Reset();
      case HandlerAction::Toggle:
        t.active = !t.active;
        return;
      case HandlerAction::SetBegin:
        return t.SetBegin(a.marker);
      case HandlerAction::SetEnd:
        t.end = a.marker;
        return;
      case HandlerAction::SetLength:
        t.length = a.length;
        return;
      case HandlerAction::SetWild:
        t.wild = a.wild;
        return;
    }
  }
  void Act(const std::vector<HandlerAction>& actions, std::uint8_t trigger) {
    for (const auto& a : actions) {
      if (!a.always && a.trigger != trigger) continue;
      Apply(a);
      ++actionsRun;
    }
  }

  int Byte(std::uint8_t ch) {
    possible = false;
    for (std::size_t i = 0; i < items.size(); ++i) {
      auto handler = [&](bool& handled) {
        LengthRule(ch, items[i].length, handled);
        if (const int t = ResetBy(ch, i, items.size()); t >= 0) {
          items[static_cast<std::size_t>(t)].Reset();
          ++actionsRun;
        }
        Act(items[i].lengthActions, ch);
      };
      if (items[i].Byte(ch, handler)) {
        if (items[i].resetOthers) ResetAllExcept(i);
        return static_cast<int>(i);
      }
      if (items[i].Possible()) possible = true;
    }
    return -1;
  }
  int Timeout() {
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (items[i].Timeout()) {
        if (items[i].resetOthers) ResetAllExcept(i);
        return static_cast<int>(i);
      }
    }
    return -1;
  }
};

}  // namespace packet_fuzz
