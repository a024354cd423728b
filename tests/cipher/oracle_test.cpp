// The module against Crypto++'s RC6 under the 64-byte key made of KeyWords.
#include <gtest/gtest.h>

#include <string>

#include "cipher/memory_stream.h"
#include "cipher/rc6.h"
#include "oracle.h"

namespace {

using namespace bootshell::cipher;

class AgainstCryptoPP : public ::testing::TestWithParam<std::size_t> {};

TEST_P(AgainstCryptoPP, StreamDecryptionMatchesForRandomBlocks) {
  sk::ByteString key = oracle::RandomBytes(GetParam(), unsigned(GetParam()));
  // 519 blocks: the wide path, four side by side and single ones all take part.
  sk::ByteString cipherText = oracle::RandomBytes(16 * 519, 100 + unsigned(GetParam()));
  MemoryStream image(cipherText);
  ASSERT_TRUE(RC6DecryptStream(image, key, image.Size()));
  EXPECT_EQ(image.Data(), oracle::Decrypt(KeyWords(), cipherText));
}

TEST_P(AgainstCryptoPP, BlockOperationsMatchInBothDirections) {
  sk::ByteString key = oracle::RandomBytes(GetParam(), 3 * unsigned(GetParam()));
  RC6SetKey(key);
  RC6KeySchedule();
  for (unsigned seed = 0; seed < 32; ++seed) {
    sk::ByteString block = oracle::RandomBytes(16, seed);
    sk::ByteString ours = block;
    RC6DecryptBlock(std::span<sk::Byte, 16>(ours.data(), 16));
    EXPECT_EQ(ours, oracle::Decrypt(KeyWords(), block)) << "seed " << seed;
    ours = block;
    RC6EncryptBlock(std::span<sk::Byte, 16>(ours.data(), 16));
    EXPECT_EQ(ours, oracle::Encrypt(KeyWords(), block)) << "seed " << seed;
  }
}

INSTANTIATE_TEST_SUITE_P(KeyLengths, AgainstCryptoPP, ::testing::Values(16, 3, 64, 65),
                         [](const auto& info) { return std::to_string(info.param) + "Bytes"; });

TEST(AgainstCryptoPP, BuiltInKeyDecryptsWhatCryptoPPEncrypted) {
  sk::ByteString key = sk::ToBytes("rpmTazhK3WQRVBJ%");
  sk::ByteString plain = oracle::RandomBytes(10240, 77);
  sk::ByteString image = oracle::Encrypt(oracle::PreparedFor(key), plain);
  MemoryStream stream(image);
  ASSERT_TRUE(RC6DecryptStream(stream, key, stream.Size()));
  EXPECT_EQ(stream.Data(), plain);
}

TEST(RoundTrip, EncryptThenDecryptRestoresEverySize) {
  sk::ByteString key = sk::ToBytes("another key");
  for (std::size_t size : {0, 1, 15, 16, 17, 40, 64, 1000, 1031, 4096}) {
    sk::ByteString plain = oracle::RandomBytes(size, unsigned(size));
    MemoryStream stream(plain);
    ASSERT_TRUE(RC6EncryptStream(stream, key, stream.Size()));
    if (size >= 16) {
      EXPECT_NE(stream.Data(), plain) << size;
    }
    // The tail below a whole block is never touched.
    std::size_t whole = size / 16 * 16;
    EXPECT_TRUE(std::equal(plain.begin() + whole, plain.end(), stream.Data().begin() + whole));
    stream.Seek(0, SeekOrigin::soBeginning);
    ASSERT_TRUE(RC6DecryptStream(stream, key, stream.Size()));
    EXPECT_EQ(stream.Data(), plain) << size;
  }
}

}  // namespace
