// The system's own folding of a key string into KeyWords.
#include <gtest/gtest.h>

#include <bit>

#include "cipher/rc6.h"
#include "oracle.h"

namespace {

using bootshell::cipher::TKeyWords;

std::uint32_t Word(sk::Byte b0, sk::Byte b1, sk::Byte b2, sk::Byte b3) {
  return b0 | b1 << 8 | b2 << 16 | std::uint32_t(b3) << 24;
}

TEST(KeyPreparation, SixteenByteKeyLandsInEvenWordsTwiceOver) {
  sk::ByteString key = sk::ToBytes("rpmTazhK3WQRVBJ%");
  TKeyWords kw = oracle::PreparedFor(key);
  for (int g = 0; g < 4; ++g) {
    std::uint32_t k = Word(key[4 * g], key[4 * g + 1], key[4 * g + 2], key[4 * g + 3]);
    EXPECT_EQ(kw[2 * g], k) << "group " << g;
    EXPECT_EQ(kw[2 * g + 8], k) << "group " << g;
  }
  for (int w = 1; w < 16; w += 2) EXPECT_EQ(kw[w], 0u) << "odd word " << w;
}

TEST(KeyPreparation, ThreeByteKeyRepeatsCyclically) {
  const sk::Byte x = 0x11, y = 0xA2, z = 0x7F;
  TKeyWords kw = oracle::PreparedFor({x, y, z});
  TKeyWords expected{};
  expected[0] = Word(x, y, z, x);
  expected[2] = Word(y, z, x, y);
  expected[4] = Word(z, x, y, z);
  expected[6] = expected[0];
  expected[8] = expected[2];
  expected[10] = expected[4];
  expected[12] = expected[0];
  expected[14] = expected[2];
  EXPECT_EQ(kw, expected);
}

TEST(KeyPreparation, SixtyFourByteKeyUsesOnlyItsFirstEightGroups) {
  sk::ByteString key = oracle::RandomBytes(64, 7);
  TKeyWords kw = oracle::PreparedFor(key);
  for (int g = 0; g < 8; ++g)
    EXPECT_EQ(kw[2 * g], Word(key[4 * g], key[4 * g + 1], key[4 * g + 2], key[4 * g + 3]));
  // Groups 8 to 15 must not matter.
  sk::ByteString changed = key;
  for (std::size_t i = 32; i < 64; ++i) changed[i] ^= 0x5A;
  EXPECT_EQ(oracle::PreparedFor(changed), kw);
}

TEST(KeyPreparation, SixtyFiveByteKeyFoldsItsSecondRoundWithRotation) {
  sk::ByteString key = oracle::RandomBytes(65, 8);
  sk::ByteString extended;
  for (std::size_t i = 0; i < 128; ++i) extended.push_back(key[i % key.size()]);
  auto group = [&](int g) {
    return Word(extended[4 * g], extended[4 * g + 1], extended[4 * g + 2], extended[4 * g + 3]);
  };
  TKeyWords kw = oracle::PreparedFor(key);
  for (int g = 0; g < 8; ++g) {
    std::uint32_t later = group(g + 16);
    EXPECT_EQ(kw[2 * g], std::rotl(group(g), int(later & 31)) ^ later) << "word " << 2 * g;
    EXPECT_EQ(kw[2 * g + 1], 0u);
  }
}

TEST(KeyPreparation, SetKeyClearsWhatThePreviousKeyLeft) {
  oracle::PreparedFor(oracle::RandomBytes(200, 9));
  TKeyWords kw = oracle::PreparedFor({1, 0, 0, 0});
  TKeyWords expected{};
  for (int t = 0; t < 16; t += 2) expected[t] = 1;
  EXPECT_EQ(kw, expected);
  EXPECT_EQ(bootshell::cipher::RC6Key(), (sk::ByteString{1, 0, 0, 0}));
}

}  // namespace
