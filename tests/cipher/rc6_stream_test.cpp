// The exact results of the stream operations: what is transformed, where the position ends,
// what an empty key and a failing stream do, and that the in-memory shortcut changes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "cipher/file_stream.h"
#include "cipher/memory_stream.h"
#include "cipher/rc6.h"
#include "oracle.h"
#include "support/scratch_dir.h"

namespace {

using namespace bootshell::cipher;

const sk::ByteString kKey = sk::ToBytes("rpmTazhK3WQRVBJ%");

// A memory stream seen only through read, seek and write, optionally failing a given write.
class PlainStream : public ByteStream {
 public:
  explicit PlainStream(sk::ByteString data, int failingWrite = -1)
      : inner_(std::move(data)), failingWrite_(failingWrite) {}
  std::size_t Read(std::span<sk::Byte> b) override { return inner_.Read(b); }
  void Write(std::span<const sk::Byte> d) override {
    if (writes_++ == failingWrite_) throw StreamError("disk full");
    inner_.Write(d);
  }
  std::int64_t Seek(std::int64_t o, SeekOrigin r) override { return inner_.Seek(o, r); }
  std::int64_t Size() override { return inner_.Size(); }
  const sk::ByteString& Data() const { return inner_.Data(); }

 private:
  MemoryStream inner_;
  int failingWrite_;
  int writes_ = 0;
};

sk::ByteString Expected(const sk::ByteString& data, std::size_t from, std::size_t blocks) {
  sk::ByteString part(data.begin() + from, data.begin() + from + 16 * blocks);
  part = oracle::Decrypt(oracle::PreparedFor(kKey), part);
  sk::ByteString out = data;
  std::copy(part.begin(), part.end(), out.begin() + from);
  return out;
}

TEST(DecryptStream, FortyBytesDecryptTwoBlocksAndLeaveTheTail) {
  sk::ByteString data = oracle::RandomBytes(40, 1);
  MemoryStream memory(data);
  PlainStream plain(data);
  ASSERT_TRUE(RC6DecryptStream(memory, kKey, 40));
  ASSERT_TRUE(RC6DecryptStream(plain, kKey, 40));
  EXPECT_EQ(memory.Data(), Expected(data, 0, 2));
  EXPECT_EQ(plain.Data(), memory.Data());
  EXPECT_EQ(memory.Position(), 32);
  EXPECT_EQ(plain.Seek(0, SeekOrigin::soCurrent), 32);
}

TEST(DecryptStream, StartsAtTheCurrentPositionAndStopsAtCount) {
  sk::ByteString data = oracle::RandomBytes(100, 2);
  MemoryStream stream(data);
  stream.Seek(5, SeekOrigin::soBeginning);
  ASSERT_TRUE(RC6DecryptStream(stream, kKey, 50));
  EXPECT_EQ(stream.Data(), Expected(data, 5, 3));
  EXPECT_EQ(stream.Position(), 5 + 48);
}

TEST(DecryptStream, CountBelowOneBlockChangesNothingButStillSetsTheKey) {
  sk::ByteString data = oracle::RandomBytes(40, 3);
  MemoryStream stream(data);
  stream.Seek(4, SeekOrigin::soBeginning);
  oracle::PreparedFor(sk::ToBytes("something else"));
  ASSERT_TRUE(RC6DecryptStream(stream, kKey, 15));
  EXPECT_EQ(stream.Data(), data);
  EXPECT_EQ(stream.Position(), 4);
  EXPECT_EQ(RC6Key(), kKey);
}

TEST(DecryptStream, EmptyKeySkipsCountBytesAndKeepsTheModuleState) {
  RC6SetKey(kKey);
  RC6KeySchedule();
  TRoundKeys before = RoundKeys();
  sk::ByteString data = oracle::RandomBytes(120, 4);
  MemoryStream stream(data);
  ASSERT_TRUE(RC6DecryptStream(stream, {}, 100));
  EXPECT_EQ(stream.Position(), 100);
  EXPECT_EQ(stream.Data(), data);
  EXPECT_EQ(RC6Key(), kKey);
  EXPECT_EQ(RoundKeys(), before);
}

TEST(DecryptStream, FailedWriteReturnsFalseWithEarlierBlocksDecrypted) {
  sk::ByteString data = oracle::RandomBytes(80, 5);
  PlainStream stream(data, /*failingWrite=*/2);
  EXPECT_FALSE(RC6DecryptStream(stream, kKey, 80));
  EXPECT_EQ(stream.Data(), Expected(data, 0, 2));
}

TEST(DecryptStream, CountBeyondTheEndFailsTheSameWayInMemoryAndThroughPlainCalls) {
  sk::ByteString data = oracle::RandomBytes(40, 6);
  MemoryStream memory(data);
  PlainStream plain(data);
  EXPECT_FALSE(RC6DecryptStream(memory, kKey, 64));
  EXPECT_FALSE(RC6DecryptStream(plain, kKey, 64));
  EXPECT_EQ(memory.Data(), Expected(data, 0, 2));
  EXPECT_EQ(plain.Data(), memory.Data());
  EXPECT_EQ(memory.Position(), plain.Seek(0, SeekOrigin::soCurrent));
}

TEST(DecryptStream, EmptyKeySeekingBeforeTheStartFails) {
  MemoryStream stream(oracle::RandomBytes(32, 8));
  stream.Seek(10, SeekOrigin::soBeginning);
  EXPECT_FALSE(RC6DecryptStream(stream, {}, -11));
  EXPECT_TRUE(RC6DecryptStream(stream, {}, -10));
  EXPECT_EQ(stream.Position(), 0);
}

class FileStreamTest : public ::testing::Test {
 protected:
  std::filesystem::path Write(const std::string& name, const sk::ByteString& data) {
    std::ofstream(dir_ / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    return dir_ / name;
  }
  testsupport::ScratchDir scratch_;
  std::filesystem::path dir_ = scratch_.Path();
};

TEST_F(FileStreamTest, DecryptsAFileInPlace) {
  sk::ByteString data = oracle::RandomBytes(1000, 9);
  auto path = Write("image.brox", data);
  {
    FileStream file(path, FileMode::fmOpenReadWrite);
    ASSERT_TRUE(RC6DecryptStream(file, kKey, file.Size()));
    EXPECT_EQ(file.Position(), 992);
    file.Close();
  }
  EXPECT_EQ(ReadWholeFile(path), Expected(data, 0, 62));
}

TEST_F(FileStreamTest, ReadOnlyFileFailsAtTheFirstWriteAndStaysAsItWas) {
  sk::ByteString data = oracle::RandomBytes(64, 10);
  auto path = Write("image.brox", data);
  FileStream file(path, FileMode::fmOpenRead);
  EXPECT_FALSE(RC6DecryptStream(file, kKey, 64));
  EXPECT_EQ(ReadWholeFile(path), data);
}

TEST_F(FileStreamTest, OpenErrorsNameTheFileAndTheReason) {
  try {
    FileStream file(dir_ / "missing.brox", FileMode::fmOpenRead);
    FAIL() << "opened a missing file";
  } catch (const StreamError& e) {
    EXPECT_NE(std::string(e.what()).find("missing.brox\": No such file or directory"),
              std::string::npos)
        << e.what();
  }
  EXPECT_THROW(ReadWholeFile(dir_), StreamError);
}

TEST_F(FileStreamTest, ReadsAfterWritesSeeWhatWasWritten) {
  FileStream file(dir_ / "new.bin", FileMode::fmCreate);
  file.Write(sk::ToBytes("hello world"));
  file.Seek(6, SeekOrigin::soBeginning);
  sk::Byte got[5];
  file.ReadBuffer(got);
  EXPECT_EQ(sk::ByteString(got, got + 5), sk::ToBytes("world"));
  file.Write(sk::ToBytes("!"));
  EXPECT_EQ(file.Size(), 12);
  EXPECT_EQ(file.Position(), 12);
}

// A decryption on one thread and an encryption under another key on a second must not mix
// their keys.
TEST(CipherModule, ConcurrentStreamsUnderDifferentKeysStayCorrect) {
  sk::ByteString otherKey = sk::ToBytes("simulator key");
  sk::ByteString plain = oracle::RandomBytes(4096, 11);
  sk::ByteString image = oracle::Encrypt(oracle::PreparedFor(kKey), plain);
  sk::ByteString otherImage = oracle::Encrypt(oracle::PreparedFor(otherKey), plain);
  bool decryptOk = true, encryptOk = true;
  std::thread encryptor([&] {
    for (int i = 0; i < 200 && encryptOk; ++i) {
      MemoryStream s(plain);
      encryptOk = RC6EncryptStream(s, otherKey, s.Size()) && s.Data() == otherImage;
    }
  });
  for (int i = 0; i < 200 && decryptOk; ++i) {
    MemoryStream s(image);
    decryptOk = RC6DecryptStream(s, kKey, s.Size()) && s.Data() == plain;
  }
  encryptor.join();
  EXPECT_TRUE(decryptOk);
  EXPECT_TRUE(encryptOk);
}

}  // namespace
