// Throughput of packet detection: bytes per second through a collection holding the device's
// eight answer definitions, as the data processor drives it (read the packet, reset it).
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "serialkit/dataproc/data_packet.h"
#include "loader/boot_protocol.h"

namespace {

namespace protocol = bootshell::protocol;

void DefineAnswers(sk::TskDataPackets& packets) {
  for (const auto& a : protocol::kAnswers) {
    sk::TskDataPacket& p = packets.Add();
    p.SetPacketBegin(sk::ToBytes(a.begin));
    p.SetPacketEnd(sk::ToBytes(a.end));
    p.SetTag(a.tag);
  }
  packets.Reset();
}

// About 1 MiB of what a port delivers during a transfer: answers with text payloads, mostly
// acknowledgements and now and then an info block, between line noise and stray bytes.
std::string RealisticStream() {
  std::mt19937 random(7);
  std::string s;
  while (s.size() < (1u << 20)) {
    const std::size_t kind = random() % 16 == 0 ? 7 : 2 + random() % 2;
    const auto& a = protocol::kAnswers[kind];
    std::string payload =
        kind == 7
            ? "ZR48 boot loader 1.3, flash 256K, page 2048, serial 0x" + std::to_string(random())
            : "<OK 0x" + std::to_string(0x08002000 + random() % 65536) + ">";
    s += std::string(a.begin) + payload + std::string(a.end);
    for (std::size_t n = random() % 24; n > 0; --n) s += static_cast<char>(random());
  }
  return s;
}

// Text that keeps every matcher restarting: near misses of the markers and nothing else.
std::string NearMissStream() {
  std::string s;
  while (s.size() < (1u << 20)) s += "answeranswerBansweraanswerE";
  return s;
}

void Run(benchmark::State& state, const std::string& stream) {
  sk::TskDataPackets packets;
  DefineAnswers(packets);
  std::int64_t found = 0;
  for (auto _ : state) {
    for (char c : stream) {
      const std::int32_t i = packets.IsPacket(static_cast<sk::Byte>(c));
      if (i < 0) continue;
      sk::TskDataPacket& p = packets.Items(i);
      benchmark::DoNotOptimize(p.DataPtr()[p.DataLength() - 1]);
      found += p.Tag() >= 0;
      p.Reset();
    }
  }
  const auto bytes =
      static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(stream.size());
  state.SetBytesProcessed(bytes);
  // Seconds per byte, shown with an SI prefix (n = nanoseconds).
  state.counters["per_byte"] = benchmark::Counter(
      static_cast<double>(bytes), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["packets"] = static_cast<double>(found) / static_cast<double>(state.iterations());
}

void BM_DeviceAnswers_RealisticStream(benchmark::State& state) {
  static const std::string stream = RealisticStream();
  Run(state, stream);
}
BENCHMARK(BM_DeviceAnswers_RealisticStream)->Unit(benchmark::kMillisecond);

void BM_DeviceAnswers_NearMissStream(benchmark::State& state) {
  static const std::string stream = NearMissStream();
  Run(state, stream);
}
BENCHMARK(BM_DeviceAnswers_NearMissStream)->Unit(benchmark::kMillisecond);

}  // namespace
