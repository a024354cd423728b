#include "serialkit/discovery/guid.h"

#include <cstdio>

namespace sk::platform {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads Digits hexadecimal digits from Text at Pos.
std::optional<std::uint32_t> ReadHex(std::string_view Text, std::size_t Pos, std::size_t Digits) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < Digits; ++i) {
    const int v = HexValue(Text[Pos + i]);
    if (v < 0) return std::nullopt;
    value = value << 4 | static_cast<std::uint32_t>(v);
  }
  return value;
}

}  // namespace

std::string GuidToString(const TGUID& Guid) {
  char text[39];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(Guid.D1), Guid.D2, Guid.D3, Guid.D4[0], Guid.D4[1],
                Guid.D4[2], Guid.D4[3], Guid.D4[4], Guid.D4[5], Guid.D4[6], Guid.D4[7]);
  return text;
}

std::optional<TGUID> GuidFromString(std::string_view Text) {
  if (Text.size() != 38 || Text.front() != '{' || Text.back() != '}' || Text[9] != '-' ||
      Text[14] != '-' || Text[19] != '-' || Text[24] != '-')
    return std::nullopt;
  TGUID guid;
  const auto d1 = ReadHex(Text, 1, 8);
  const auto d2 = ReadHex(Text, 10, 4);
  const auto d3 = ReadHex(Text, 15, 4);
  if (!d1 || !d2 || !d3) return std::nullopt;
  guid.D1 = *d1;
  guid.D2 = static_cast<std::uint16_t>(*d2);
  guid.D3 = static_cast<std::uint16_t>(*d3);
  static constexpr std::size_t kByteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (std::size_t i = 0; i < 8; ++i) {
    const auto b = ReadHex(Text, kByteAt[i], 2);
    if (!b) return std::nullopt;
    guid.D4[i] = static_cast<std::uint8_t>(*b);
  }
  return guid;
}

}  // namespace sk::platform
