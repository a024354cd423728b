#include "log/log_text.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

TEST(LogText, TrimDropsBlanksAndControlsAtBothEndsOnly) {
  EXPECT_EQ(sk::TrimControls(" \t\r\n a b \x01\x1F "), "a b");
  EXPECT_EQ(sk::TrimControls("\x7F"
                             "x"),
            "\x7F"
            "x");
  EXPECT_EQ(sk::TrimControls(" \t "), "");
}

TEST(LogText, ControlCharactersBecomeTheirHexCode) {
  std::string out = "pre:";
  sk::AppendEscaped(out,
                    "a\tb\nc\rd\x1F"
                    "e\0f"s);
  EXPECT_EQ(out, "pre:a\\09hb\\0Ahc\\0Dhd\\1Fhe\\00hf");
  out.clear();
  sk::AppendEscaped(out, " ~\x7F\xC3\xA9");
  EXPECT_EQ(out, " ~\x7F\xC3\xA9");
}

TEST(LogText, Latin1KeepsWhatItCanHoldAndMarksTheRest) {
  EXPECT_EQ(sk::EncodeLatin1("A\xC3\xA9\xC3\xBF"), "A\xE9\xFF");
  EXPECT_EQ(sk::EncodeLatin1("\xE2\x82\xAC|\xF0\x9F\x98\x80"), "?|?");
  // Bytes that are not UTF-8 (raw data logged as text) pass as themselves.
  EXPECT_EQ(sk::EncodeLatin1("\xFF\x80"
                             "a\xC3"),
            "\xFF\x80"
            "a\xC3");
  EXPECT_EQ(sk::EncodeLatin1("\xC0\xAF"), "\xC0\xAF");  // overlong '/'
}

TEST(LogText, Utf16IsLittleEndianWithSurrogatePairs) {
  EXPECT_EQ(sk::EncodeUtf16Le("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"),
            "A\0\xE9\0\xAC\x20\x3D\xD8\x00\xDE"s);
  EXPECT_EQ(sk::EncodeUtf16Le("\xFF"
                              "\xED\xA0\x80"),
            "\xFF\0\xED\0\xA0\0\x80\0"s);
}

}  // namespace
