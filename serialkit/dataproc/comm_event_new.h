#pragma once
// Recognises one fixed byte pattern (a packet's begin or end marker) in a stream fed one byte
// at a time. It keeps only its position in the pattern, so matching costs a few comparisons
// per byte and never allocates.
#include <algorithm>
#include <cstdint>

#include "serialkit/core/bytes.h"

namespace sk {

class TCommEventNew {
 public:
  explicit TCommEventNew(const ByteString& sEvent = {}) { SetStr(sEvent); }

  const ByteString& Str() const { return fStr; }
  std::int32_t Len() const { return fLen; }

  // Loading a pattern always abandons a partial match. Copying into the pattern's storage
  // reuses it, so switching between a definition's two markers allocates nothing.
  void SetStr(const ByteString& Value) {
    fStr = Value;
    fLen = static_cast<std::int32_t>(fStr.size());
    Reset();
  }

  void Reset() { Reserved = 1; }

  // True while some leading bytes of the pattern have been matched.
  bool IsPossible() const { return Reserved > 1; }

  // Feeds one byte; true exactly when it completes an occurrence of the pattern. chWild is
  // the byte that stands for any byte in the pattern, 0 for none.
  bool IsEvent(Byte Ch, Byte chWild) {
    if (fLen == 0) return false;
    const Byte* pattern = fStr.data();
    const Byte p = pattern[Reserved - 1];
    if (p == Ch || (chWild != 0 && p == chWild)) {
      if (++Reserved > fLen) {
        Reserved = 1;
        return true;
      }
      return false;
    }
    // Only the first pattern byte is tried again: the markers this serves never repeat their
    // first byte, and a fallback table would cost memory per matcher for no gain.
    const Byte first = pattern[0];
    Reserved = (first == Ch || (chWild != 0 && first == chWild)) ? 2 : 1;
    return false;
  }

 private:
  // 1-based position of the pattern byte the next input byte is compared with; 1..fLen.
  std::int32_t Reserved = 1;
  std::int32_t fLen = 0;
  ByteString fStr;
};

}  // namespace sk
