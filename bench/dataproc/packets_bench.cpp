// Throughput of packet detection: bytes per second through a collection holding the device's
// eight answer definitions, as the data processor drives it (read the packet, reset it), and
// through one of 64 definitions of the same shape, for a program that tells many answers apart.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "loader/boot_protocol.h"
#include "serialkit/dataproc/data_packet.h"

namespace {

namespace protocol = bootshell::protocol;

struct Answer {
  std::string begin;
  std::string end;
  std::int32_t tag;
};

std::vector<Answer> LoaderAnswers() {
  std::vector<Answer> answers;
  for (const auto& a : protocol::kAnswers)
    answers.push_back({std::string(a.begin), std::string(a.end), a.tag});
  return answers;
}

// The loader's markers numbered on to 64: every begin marker starts like every other.
std::vector<Answer> SixtyFourAnswers() {
  std::vector<Answer> answers;
  for (int i = 0; i < 64; ++i)
    answers.push_back({"answerB" + std::to_string(i), "answerE" + std::to_string(i), i});
  return answers;
}

void Define(sk::TskDataPackets& packets, const std::vector<Answer>& answers) {
  for (const auto& a : answers) {
    sk::TskDataPacket& p = packets.Add();
    p.SetPacketBegin(sk::ToBytes(a.begin));
    p.SetPacketEnd(sk::ToBytes(a.end));
    p.SetTag(a.tag);
  }
  packets.Reset();
}

// About 1 MiB of what a port delivers during a transfer: answers with text payloads, mostly
// acknowledgements and now and then an info block, between line noise and stray bytes. With
// more than the loader's answers, the acknowledgements are any of them.
std::string RealisticStream(const std::vector<Answer>& answers) {
  std::mt19937 random(7);
  std::string s;
  const std::size_t info = answers.size() - 1;
  while (s.size() < (1u << 20)) {
    const std::size_t kind = random() % 16 == 0 ? info
                             : answers.size() == protocol::kAnswers.size()
                                 ? 2 + random() % 2
                                 : random() % answers.size();
    const auto& a = answers[kind];
    std::string payload =
        kind == info
            ? "ZR48 boot loader 1.3, flash 256K, page 2048, serial 0x" + std::to_string(random())
            : "<OK 0x" + std::to_string(0x08002000 + random() % 65536) + ">";
    s += a.begin + payload + a.end;
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

void Run(benchmark::State& state, const std::vector<Answer>& answers, const std::string& stream) {
  sk::TskDataPackets packets;
  Define(packets, answers);
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
  static const auto answers = LoaderAnswers();
  static const std::string stream = RealisticStream(answers);
  Run(state, answers, stream);
}
BENCHMARK(BM_DeviceAnswers_RealisticStream)->Unit(benchmark::kMillisecond);

void BM_DeviceAnswers_NearMissStream(benchmark::State& state) {
  static const auto answers = LoaderAnswers();
  static const std::string stream = NearMissStream();
  Run(state, answers, stream);
}
BENCHMARK(BM_DeviceAnswers_NearMissStream)->Unit(benchmark::kMillisecond);

void BM_SixtyFourAnswers_RealisticStream(benchmark::State& state) {
  static const auto answers = SixtyFourAnswers();
  static const std::string stream = RealisticStream(answers);
  Run(state, answers, stream);
}
BENCHMARK(BM_SixtyFourAnswers_RealisticStream)->Unit(benchmark::kMillisecond);

void BM_SixtyFourAnswers_NearMissStream(benchmark::State& state) {
  static const auto answers = SixtyFourAnswers();
  static const std::string stream = NearMissStream();
  Run(state, answers, stream);
}
BENCHMARK(BM_SixtyFourAnswers_NearMissStream)->Unit(benchmark::kMillisecond);

}  // namespace
