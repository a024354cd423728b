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

// The length handler both sides use: handled on bytes divisible by 3, and on even ones of
// those it also sets the packet length.
inline void LengthRule(std::uint8_t ch, std::int32_t& length, bool& handled) {
  if (ch % 3 != 0) return;
  handled = true;
  if (ch % 2 == 0) length = ch % 11;
}

// The same handler also switches another definition on or off now and then: the definition
// with this index (of count), or none.
inline int ToggledBy(std::uint8_t ch, std::size_t count) {
  if (ch % 5 != 0) return -1;
  return static_cast<int>((ch / 5) % count);
}

struct ModelPacket {
  Bytes begin, end;
  std::int32_t length = 0;
  bool active = true;
  bool resetOthers = false;
  bool byTimeout = false;
  bool hasHandler = false;
  std::uint8_t wild = 0;
  std::size_t max = 16384;

  ModelState state = Inactive;
  Bytes data;
  Bytes pattern;            // what the matcher looks for
  std::size_t matched = 0;  // pattern bytes matched so far
  bool handlerArmed = false;
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

  bool Byte(std::uint8_t ch, std::vector<ModelPacket>& all) {
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
        LengthRule(ch, length, handled);
        if (const int t = ToggledBy(ch, all.size()); t >= 0) all[t].active = !all[t].active;
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

  void ResetAllExcept(std::size_t keep) {
    for (std::size_t i = 0; i < items.size(); ++i)
      if (i != keep) items[i].Reset();
  }
  int Byte(std::uint8_t ch) {
    possible = false;
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (items[i].Byte(ch, items)) {
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
