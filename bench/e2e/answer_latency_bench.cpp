// Answer latency: from the device writing an answer on a pseudo-terminal to the answer handler
// running in the loader's port worker. The benchmark plays the device on the master end, so
// that both instants are read from one monotonic clock in one process.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "boot/boot_components.h"
#include "serialkit/testing/pseudo_terminal.h"

namespace {

using Clock = std::chrono::steady_clock;

double Percentile(std::vector<double> Sorted, double P) {
  const auto index = static_cast<std::size_t>(P * static_cast<double>(Sorted.size() - 1) + 0.5);
  return Sorted[std::min(index, Sorted.size() - 1)];
}

void BM_AnswerLatency(benchmark::State& state) {
  const int answers = static_cast<int>(state.range(0));
  sk::platform::PseudoTerminal device;
  sk::TComponent root;
  auto& comm = sk::TComponent::Create<sk::TskComm>(root);
  auto& processor = sk::TComponent::Create<sk::TskDataProcessor>(root);
  bootshell::boot::ConfigureBootPort(comm);
  bootshell::boot::ConfigureAnswerProcessor(processor);
  comm.SetDataProcessor(&processor);
  comm.SetDevicePath(device.SlavePath());
  comm.SetBaudRate(921600);

  std::atomic<std::int64_t> handledAt{0};
  std::atomic<std::uint32_t> handled{0};
  processor.SetOnDataPacket(
      sk::TskDataPacketEvent::Bind(&handled, [&](sk::TObject*, sk::TskDataPacket*) {
        handledAt.store(Clock::now().time_since_epoch().count());
        handled.fetch_add(1);
        handled.notify_one();
      }));
  comm.SetActive(true);

  const std::string text = "answerB2Written 1024 bytes at 0x08002000answerE2";
  const std::vector<std::uint8_t> answer(text.begin(), text.end());
  std::vector<double> micros;
  micros.reserve(static_cast<std::size_t>(answers));
  for (auto _ : state) {
    for (int i = -50; i < answers; ++i) {  // the first 50 warm up
      const std::uint32_t before = handled.load();
      const auto written = Clock::now();
      if (!device.Write(answer)) {
        state.SkipWithError("write to the pseudo-terminal failed");
        break;
      }
      handled.wait(before);
      const auto latency = std::chrono::duration<double, std::micro>(
                               Clock::duration(handledAt.load()) - written.time_since_epoch())
                               .count();
      if (i >= 0) micros.push_back(latency);
    }
  }
  comm.SetActive(false);
  if (micros.empty()) return;
  std::sort(micros.begin(), micros.end());
  state.counters["answers"] = static_cast<double>(micros.size());
  state.counters["median_us"] = Percentile(micros, 0.5);
  state.counters["p99_us"] = Percentile(micros, 0.99);
  state.counters["max_us"] = micros.back();
}

BENCHMARK(BM_AnswerLatency)->Arg(2000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
