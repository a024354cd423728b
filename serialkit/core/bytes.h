#pragma once
// Raw bytes (markers, packet data, bytes on the wire) are kept apart from text so that
// nothing ever converts them through a character set by accident.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sk {

using Byte = std::uint8_t;
using ByteString = std::vector<Byte>;

// The bytes of an ASCII or already-encoded string, one byte per char.
inline ByteString ToBytes(std::string_view s) { return ByteString(s.begin(), s.end()); }

// One char per byte, for showing or logging raw data.
inline std::string ToText(const ByteString& b) { return std::string(b.begin(), b.end()); }

}  // namespace sk
