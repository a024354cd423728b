#include "serialkit/log/log_text.h"

#include <cstdint>

namespace sk {

std::string TrimControls(std::string_view Text) {
  auto isSpace = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  std::size_t begin = 0, end = Text.size();
  while (begin < end && isSpace(Text[begin])) ++begin;
  while (end > begin && isSpace(Text[end - 1])) --end;
  return std::string(Text.substr(begin, end - begin));
}

void AppendEscaped(std::string& Out, std::string_view Text) {
  static constexpr char hex[] = "0123456789ABCDEF";
  Out.reserve(Out.size() + Text.size());
  for (char c : Text) {
    auto code = static_cast<unsigned char>(c);
    if (code >= 32) {
      Out += c;
    } else {
      Out += '\\';
      Out += hex[code >> 4];
      Out += hex[code & 0x0F];
      Out += 'h';
    }
  }
}

char32_t DecodeUtf8(std::string_view Text, std::size_t& Pos) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(Text[i]); };
  const unsigned char lead = byte(Pos);
  std::size_t length = 0;
  char32_t code = 0, least = 0;
  if (lead < 0x80) {
    ++Pos;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, code = lead & 0x1F, least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0F, least = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code = lead & 0x07, least = 0x10000;
  }
  bool valid = length != 0 && Pos + length <= Text.size();
  for (std::size_t i = 1; valid && i < length; ++i) {
    valid = (byte(Pos + i) & 0xC0) == 0x80;
    code = (code << 6) | (byte(Pos + i) & 0x3F);
  }
  // Overlong forms, surrogates and codes beyond Unicode are not characters: raw bytes.
  if (valid && code >= least && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF)) {
    Pos += length;
    return code;
  }
  ++Pos;
  return lead;
}

std::string EncodeLatin1(std::string_view Text) {
  std::string out;
  out.reserve(Text.size());
  for (std::size_t pos = 0; pos < Text.size();) {
    if (static_cast<unsigned char>(Text[pos]) < 0x80) {
      out += Text[pos++];
      continue;
    }
    char32_t code = DecodeUtf8(Text, pos);
    out += code <= 0xFF ? static_cast<char>(code) : '?';
  }
  return out;
}

std::string EncodeUtf16Le(std::string_view Text) {
  std::string out;
  out.reserve(Text.size() * 2);
  auto put = [&out](std::uint32_t unit) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
  };
  for (std::size_t pos = 0; pos < Text.size();) {
    char32_t code = DecodeUtf8(Text, pos);
    if (code < 0x10000) {
      put(code);
    } else {
      code -= 0x10000;
      put(0xD800 + (code >> 10));
      put(0xDC00 + (code & 0x3FF));
    }
  }
  return out;
}

}  // namespace sk
