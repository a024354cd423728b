#include "loader/answer_text.h"

#include <algorithm>

namespace bootshell::protocol {

namespace {

// Upper case in Latin-1: ASCII letters and the accented letters 0xE0-0xFE but 0xF7.
sk::Byte Fold(sk::Byte b) {
  if ((b >= 'a' && b <= 'z') || (b >= 0xE0 && b <= 0xFE && b != 0xF7)) return sk::Byte(b - 0x20);
  return b;
}

bool SameFolded(sk::Byte a, sk::Byte b) {
  return Fold(a) == Fold(b);
}

// Every occurrence of Pattern, left to right and not overlapping, replaced by one byte.
sk::ByteString ReplaceAll(std::span<const sk::Byte> Text, std::span<const sk::Byte> Pattern,
                          sk::Byte By) {
  sk::ByteString out;
  out.reserve(Text.size());
  auto at = Text.begin();
  while (true) {
    auto found = Pattern.empty()
                     ? Text.end()
                     : std::search(at, Text.end(), Pattern.begin(), Pattern.end(), SameFolded);
    out.insert(out.end(), at, found);
    if (found == Text.end()) break;
    out.push_back(By);
    at = found + std::ptrdiff_t(Pattern.size());
  }
  return out;
}

std::string Latin1ToUtf8(const sk::ByteString& Bytes) {
  std::string text;
  text.reserve(Bytes.size());
  for (sk::Byte b : Bytes) {
    if (b < 0x80) {
      text.push_back(char(b));
    } else {
      text.push_back(char(0xC0 | (b >> 6)));
      text.push_back(char(0x80 | (b & 0x3F)));
    }
  }
  return text;
}

}  // namespace

std::string AnswerLogLine(std::span<const sk::Byte> Received, std::span<const sk::Byte> BeginMarker,
                          std::span<const sk::Byte> EndMarker) {
  sk::ByteString begun = ReplaceAll(Received, BeginMarker, '<');
  return Latin1ToUtf8(ReplaceAll(begun, EndMarker, '>'));
}

}  // namespace bootshell::protocol
