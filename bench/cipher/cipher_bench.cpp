// Decrypting a 16 MiB in-memory image through RC6DecryptStream, beside Crypto++'s RC6
// decrypting the same bytes under the same 64-byte key. Compare the bytes_per_second columns.
#include <benchmark/benchmark.h>
#include <cryptopp/cryptlib.h>
#include <cryptopp/rc6.h>

#include <random>

#include "cipher/memory_stream.h"
#include "cipher/rc6.h"

namespace {

using namespace bootshell::cipher;

constexpr std::size_t kImageSize = 16 * 1024 * 1024;
const sk::ByteString kKey = sk::ToBytes("rpmTazhK3WQRVBJ%");

const sk::ByteString& Image() {
  static const sk::ByteString image = [] {
    std::mt19937 gen(1);
    sk::ByteString bytes(kImageSize);
    for (auto& b : bytes) b = sk::Byte(gen());
    return bytes;
  }();
  return image;
}

void BM_RC6DecryptStream(benchmark::State& state) {
  MemoryStream stream(Image());
  for (auto _ : state) {
    stream.Seek(0, SeekOrigin::soBeginning);
    bool ok = RC6DecryptStream(stream, kKey, stream.Size());
    benchmark::DoNotOptimize(ok);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kImageSize));
}
BENCHMARK(BM_RC6DecryptStream)->Unit(benchmark::kMillisecond);

void BM_CryptoPPDecrypt(benchmark::State& state) {
  RC6SetKey(kKey);
  sk::ByteString key;
  for (std::uint32_t w : KeyWords())
    for (int b = 0; b < 4; ++b) key.push_back(sk::Byte(w >> (8 * b)));
  CryptoPP::RC6::Decryption dec;
  dec.UncheckedSetKey(key.data(), unsigned(key.size()), CryptoPP::g_nullNameValuePairs);
  sk::ByteString data = Image();
  for (auto _ : state) {
    dec.AdvancedProcessBlocks(data.data(), nullptr, data.data(), data.size(), 0);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kImageSize));
}
BENCHMARK(BM_CryptoPPDecrypt)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
