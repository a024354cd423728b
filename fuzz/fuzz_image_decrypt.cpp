// Image stream decryption with any data, key, start and count: decrypting in memory (blocks
// transformed where they lie) and through a stream that only reads and writes (block by
// block) give the same bytes, result and position; encrypting back restores the data; bytes
// outside the whole blocks counted are never touched.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "cipher/memory_stream.h"
#include "cipher/rc6.h"
#include "fuzz/fuzz_input.h"

namespace {

using bootshell::cipher::ByteStream;
using bootshell::cipher::MemoryStream;
using bootshell::cipher::SeekOrigin;
using packet_fuzz::FuzzInput;

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "image decryption broke an invariant: %s\n", what);
  std::abort();
}

// A memory stream that offers no direct access to its bytes.
class PlainStream : public ByteStream {
 public:
  explicit PlainStream(sk::ByteString Data) : inner_(std::move(Data)) {}
  std::size_t Read(std::span<sk::Byte> Buffer) override { return inner_.Read(Buffer); }
  void Write(std::span<const sk::Byte> Data) override { inner_.Write(Data); }
  std::int64_t Seek(std::int64_t Offset, SeekOrigin Origin) override {
    return inner_.Seek(Offset, Origin);
  }
  std::int64_t Size() override { return inner_.Size(); }
  const sk::ByteString& Data() const { return inner_.Data(); }

 private:
  MemoryStream inner_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  sk::ByteString key(in.Below(4) == 0 ? 0 : in.Byte() + in.Below(2) * 256);
  for (auto& b : key) b = in.Byte();
  const std::int64_t start = in.Below(40);
  std::int64_t count = static_cast<std::int16_t>(in.Byte() << 8 | in.Byte());
  if (in.Chance(1)) count = static_cast<std::int64_t>(in.Byte()) << 40;
  sk::ByteString plain;
  while (!in.Empty()) plain.push_back(in.Byte());
  const auto total = static_cast<std::int64_t>(plain.size());
  if (start > total) return 0;

  MemoryStream direct(plain);
  PlainStream blockwise(plain);
  direct.Seek(start, SeekOrigin::soBeginning);
  blockwise.Seek(start, SeekOrigin::soBeginning);
  const bool okDirect = bootshell::cipher::RC6DecryptStream(direct, key, count);
  const bool okBlockwise = bootshell::cipher::RC6DecryptStream(blockwise, key, count);
  Check(okDirect == okBlockwise, "the same result either way");
  Check(direct.Data() == blockwise.Data(), "the same bytes either way");
  Check(direct.Position() == blockwise.Position(), "the same position either way");

  if (key.empty() || count < 16) {
    if (!key.empty()) Check(direct.Data() == plain, "no whole block: nothing changes");
    return 0;
  }
  const std::int64_t blocks = std::min(count, total - start) / 16;
  const std::int64_t end = start + blocks * 16;
  Check(std::equal(plain.begin(), plain.begin() + start, direct.Data().begin()),
        "the bytes before the start are untouched");
  Check(std::equal(plain.begin() + end, plain.end(), direct.Data().begin() + end),
        "the bytes after the last whole block are untouched");
  if (okDirect) {
    Check(direct.Position() == end, "the position ends after the last whole block");
  }
  direct.Seek(start, SeekOrigin::soBeginning);
  Check(bootshell::cipher::RC6EncryptStream(direct, key, blocks * 16), "encrypting back works");
  Check(direct.Data() == plain, "encrypting back restores the data");
  return 0;
}
