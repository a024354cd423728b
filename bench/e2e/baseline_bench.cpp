// The simulator's own share of a paced transfer: an ideal host (one write per frame, reading
// straight from the pseudo-terminal, nothing else) runs the cycles of a 256 KiB image at
// 921600 baud. Its ratio of total to wire time is the floor any loader measures against it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "sim/host_line.h"
#include "sim/sim_frames.h"
#include "support/sim_process.h"

namespace {

using Clock = std::chrono::steady_clock;

void BM_IdealHostEfficiency921600(benchmark::State& state) {
  const int cycles = static_cast<int>(state.range(0));
  for (auto _ : state) {
    testsupport::SimProcess sim({"--baud", "921600", "--frame-log", "/dev/null"});
    sk::test::HostLine host(sim.TtyPath());
    host.Write(sk::test::HandshakeFrame());
    host.ReadUntil("answerE0");
    host.Forget();
    std::size_t answerBytes = 0;
    const auto start = Clock::now();
    for (int c = 0; c < cycles; ++c) {
      const std::uint32_t address = 0x08002000u + static_cast<std::uint32_t>(c) * 2048;
      host.Write(sk::test::AddressFrame(address));
      answerBytes += host.ReadUntil("answerE3").size();
      host.Forget();
      host.Write(sk::test::DataFrame(sk::test::Block(static_cast<std::uint8_t>(c))));
      answerBytes += host.ReadUntil("answerE2").size();
      host.Forget();
    }
    const double total = std::chrono::duration<double>(Clock::now() - start).count();
    const double wire =
        (static_cast<double>(cycles) * (8 + 1028) + static_cast<double>(answerBytes)) * 11 / 921600;
    state.SetIterationTime(total);
    state.counters["cycles"] = cycles;
    state.counters["total_s"] = total;
    state.counters["wire_s"] = wire;
    state.counters["efficiency"] = total / wire;
  }
}

// 127 cycles: those of a 256 KiB image.
BENCHMARK(BM_IdealHostEfficiency921600)
    ->Arg(127)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
