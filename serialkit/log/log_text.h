#pragma once
// Text handling of the log: trimming, the escaping of control characters, and the two file
// encodings. Text is UTF-8; a byte that does not start a valid UTF-8 sequence (raw data that
// was logged as text) stands for the character of the same code, so that no byte is lost.
#include <string>
#include <string_view>

namespace sk {

// Without leading and trailing characters with codes up to 32 (blanks and control characters).
std::string TrimControls(std::string_view Text);

// Appends Text to Out with every character below 32 written as "\", two upper-case hex digits
// and "h" (a tab becomes \09h).
void AppendEscaped(std::string& Out, std::string_view Text);

// One byte per character in Latin-1; a character above 0xFF becomes "?".
std::string EncodeLatin1(std::string_view Text);

// UTF-16 little-endian without byte-order mark; characters above 0xFFFF as surrogate pairs.
std::string EncodeUtf16Le(std::string_view Text);

// The next character of Text at Pos (advanced past it).
char32_t DecodeUtf8(std::string_view Text, std::size_t& Pos);

}  // namespace sk
