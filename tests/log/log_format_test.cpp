#include "serialkit/log/log_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

using sk::FormatLogArgs;
using sk::TLogArgs;
using sk::ToLogArg;

template <class... T>
std::optional<std::string> Format(const std::string& f, const T&... args) {
  return FormatLogArgs(f, TLogArgs{ToLogArg(args)...});
}

TEST(LogFormat, FillsTheDirectivesThePortAndProcessorsUse) {
  EXPECT_EQ(Format("Fatal Error: %u, %u, %s", 1u, 0u, std::string("gone")),
            "Fatal Error: 1, 0, gone");
  EXPECT_EQ(Format("Communication Error %d:%d %X", 0, 5, 0x1A2Bu), "Communication Error 0:5 1A2B");
  EXPECT_EQ(Format("Try to send char %2Xh ...", std::uint8_t{0xA5}), "Try to send char A5h ...");
  EXPECT_EQ(Format("Try to send char %2Xh ...", 7), "Try to send char  7h ...");
  EXPECT_EQ(Format("%s +%0.3d", std::string("12:00:01"), 7), "12:00:01 +007");
  EXPECT_EQ(Format("Device \"%s\" Open Error !!!\r%s", "COM7", "No such file or directory"),
            "Device \"COM7\" Open Error !!!\rNo such file or directory");
}

TEST(LogFormat, HonoursFlagsWidthAndPrecision) {
  EXPECT_EQ(Format("[%5d|%-5d|%05d|%+d|% d]", 42, 42, 42, 42, 42), "[   42|42   |00042|+42| 42]");
  EXPECT_EQ(Format("%#x %x %o", 255, 255u, 8), "0xff ff 10");
  EXPECT_EQ(Format("%.2f %8.3e %g", 3.14159, 1234.5, 0.5), "3.14 1.234e+03 0.5");
  EXPECT_EQ(Format("[%6.2s]", std::string("abcdef")), "[    ab]");
  EXPECT_EQ(Format("[%*d|%-*d|%.*f]", 4, 7, 3, 7, 1, 2.25), "[   7|7  |2.2]");
  EXPECT_EQ(Format("[%*d]", -4, 7), "[7   ]");
}

TEST(LogFormat, TakesLiteralsAndIgnoresLengthModifiersAndLeftoverArguments) {
  EXPECT_EQ(Format("100%% of %d", 3), "100% of 3");
  EXPECT_EQ(Format("no directives"), "no directives");
  // The argument carries its own size: %hd must not cut 70000 down to a short.
  EXPECT_EQ(Format("%ld %llu %hd %zu", 1L, 2ull, 70000, std::size_t{4}), "1 2 70000 4");
  EXPECT_EQ(Format("%d", 1, 2, 3), "1");
  EXPECT_EQ(Format("%u", std::numeric_limits<std::uint64_t>::max()), "18446744073709551615");
  EXPECT_EQ(Format("%d", std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
}

TEST(LogFormat, FormatsCharacterCodesAsText) {
  EXPECT_EQ(Format("%c%c", 'o', 'k'), "ok");
  EXPECT_EQ(Format("[%3c]", 0xE9), "[  \xC3\xA9]");
  EXPECT_EQ(Format("%c", 0x1F600), "\xF0\x9F\x98\x80");
  EXPECT_FALSE(Format("%c", 0xD800));
  EXPECT_FALSE(Format("%c", -1));
  EXPECT_FALSE(Format("%c", "x"));
}

TEST(LogFormat, RefusesArgumentsOfTheWrongKind) {
  EXPECT_FALSE(Format("%d", "text"));
  EXPECT_FALSE(Format("%x", "text"));
  EXPECT_FALSE(Format("%s", 42));
  EXPECT_FALSE(Format("%s", 4.5));
  EXPECT_FALSE(Format("%d", 4.5));
  EXPECT_FALSE(Format("%f", 42));
  EXPECT_FALSE(Format("%*d", "wide", 1));
  EXPECT_FALSE(Format("%.*f", 2.0, 1.0));
}

TEST(LogFormat, RefusesMissingArgumentsAndMalformedDirectives) {
  EXPECT_FALSE(Format("%d %d", 1));
  EXPECT_FALSE(Format("%s"));
  EXPECT_FALSE(Format("50%", 1));
  EXPECT_FALSE(Format("%5", 1));
  EXPECT_FALSE(Format("%q", 1));
  EXPECT_FALSE(Format("%n", 1));
  EXPECT_FALSE(Format("%p", 1));
  EXPECT_FALSE(Format("%1$d", 1));
  EXPECT_FALSE(Format("%-#s", "x"));
  EXPECT_FALSE(Format("%+s", "x"));
  EXPECT_FALSE(Format("%#d", 1));
}

TEST(LogFormat, RefusesWidthsThatWouldFloodTheLog) {
  EXPECT_FALSE(Format("%999999999d", 1));
  EXPECT_FALSE(Format("%.99999f", 1.0));
  EXPECT_FALSE(Format("%*d", 1 << 30, 1));
  EXPECT_EQ(Format("%1024d", 1)->size(), 1024u);
}

}  // namespace
