// Whole transfers through the loader against the device simulator: efficiency on a paced line,
// throughput on an unpaced one, and what a connected loader costs while it waits for "Send".
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "boot/transfer_script.h"
#include "loader/chunk_rule.h"
#include "loader/link_kind.h"
#include "loader_rig.h"
#include "minimal_loader.h"

namespace {

using bench::Clock;
using namespace bootshell::loader;

// Microsecond samples of one step of the loader's reaction to an answer.
struct Samples {
  std::vector<double> us;
  void Add(Clock::time_point From, Clock::time_point To) {
    us.push_back(std::chrono::duration<double, std::micro>(To - From).count());
  }
  double TotalS() const {
    double total = 0;
    for (double r : us) total += r;
    return total * 1e-6;
  }
  double MedianUs() {
    if (us.empty()) return 0;
    std::sort(us.begin(), us.end());
    return us[us.size() / 2];
  }
};

struct TransferTimes {
  Clock::time_point firstFrame{};  // the first address frame is about to go
  Clock::time_point written{};     // the last block is acknowledged
  double cpuAtFirstFrame = 0;
  double cpuWritten = 0;
  std::uint32_t receivedAtFirstFrame = 0, receivedWritten = 0;
  bool done = false;
  // From an acknowledgement reaching the handler to the loop having sent the next frame, and
  // its two parts: until the loop has taken the answer (its state asks for the next frame),
  // and from there until the frame is sent (the port's send path).
  Samples reaction, loopWake, sendPath;
  Clock::time_point sendStateAt{};
  // Each cycle's length: from the loop taking one block's acknowledgement (its state asks for
  // the next address frame) to the next; the first from the first address frame.
  std::vector<double> cycleSeconds;
  Clock::time_point cycleStart{};
  void EndCycle(Clock::time_point At) {
    cycleSeconds.push_back(std::chrono::duration<double>(At - cycleStart).count());
    cycleStart = At;
  }
};

// The operator's script, noting the times of the loader's steps as their states begin.
class TimedTransfer : public bootshell::boot::TransferScript {
 public:
  TimedTransfer(bench::LoaderRig& Rig, const std::string& Image)
      : TransferScript(
            {[&Rig, Image] { Rig.Session().Send(Image); }, [&Rig] { Rig.Session().Stop(); }},
            {std::chrono::seconds(60), std::chrono::seconds(30)}),
        rig_(Rig) {}

  void StateChanged(std::int32_t State) override {
    const std::int32_t previous = last_;
    last_ = State;
    if (State == lsSendAddress && previous == lsLoadImage) {
      rig_.ResetAnswerCounts();
      t.cpuAtFirstFrame = bench::ProcessCpuSeconds();
      t.receivedAtFirstFrame = rig_.TotalReceived();
      t.firstFrame = Clock::now();
      t.cycleStart = t.firstFrame;
    } else if ((State == lsSendAddress && previous == lsWaitBlockAnswer) ||
               (State == lsSendBlock && previous == lsWaitAddressAnswer)) {
      t.sendStateAt = Clock::now();
      t.loopWake.Add(rig_.LastAnswerAt(), t.sendStateAt);
      if (State == lsSendAddress) t.EndCycle(t.sendStateAt);
    } else if ((State == lsWaitBlockAnswer && previous == lsSendBlock) ||
               (State == lsWaitAddressAnswer && previous == lsSendAddress && !t.done &&
                t.firstFrame != Clock::time_point{} && rig_.Answers() > 0)) {
      const auto now = Clock::now();
      t.reaction.Add(rig_.LastAnswerAt(), now);
      if (t.sendStateAt != Clock::time_point{}) t.sendPath.Add(t.sendStateAt, now);
      t.sendStateAt = {};
    } else if (State == lsImageWritten) {
      t.written = Clock::now();
      t.EndCycle(t.written);
      t.cpuWritten = bench::ProcessCpuSeconds();
      t.receivedWritten = rig_.TotalReceived();
      t.done = true;
    }
    TransferScript::StateChanged(State);
  }

  TransferTimes t;

 private:
  bench::LoaderRig& rig_;
  std::int32_t last_ = 0;
};

// Connects, presses "Send" once the handshake is answered, "Exit" when the image is written.
TransferTimes Transfer(bench::LoaderRig& Rig, const std::string& Image) {
  TimedTransfer script(Rig, Image);
  script.Start();
  Rig.Run(script, [&] { script.Tick(); });
  if (script.Outcome() != bootshell::boot::TransferScript::TOutcome::Written) script.t.done = false;
  return script.t;
}

// Total transfer time over the wire time of its frames and answers at 921600 baud, 11 bits a
// byte (8N2): how much the loader and the line's turnarounds add to the bytes themselves.
void BM_TransferEfficiency921600(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const std::int64_t cycles = bootshell::protocol::CycleCount(static_cast<std::int64_t>(size));
  for (auto _ : state) {
    bench::LoaderRig rig({"--baud", "921600"}, bootshell::protocol::lkBluetooth);
    TransferTimes t = Transfer(rig, rig.MakeImage(size));
    if (!t.done) return state.SkipWithError("the transfer did not complete");
    const double total = std::chrono::duration<double>(t.written - t.firstFrame).count();
    const double hostBytes = static_cast<double>(cycles) * (8 + 1028);
    const double answerBytes = static_cast<double>(t.receivedWritten - t.receivedAtFirstFrame);
    const double wire = (hostBytes + answerBytes) * 11 / 921600;
    state.SetIterationTime(total);
    state.counters["cycles"] = static_cast<double>(cycles);
    state.counters["answers"] = static_cast<double>(rig.Answers());
    state.counters["total_s"] = total;
    state.counters["wire_s"] = wire;
    state.counters["efficiency"] = total / wire;
    // The loader's own share: acknowledgement seen to next frame sent.
    state.counters["loader_s"] = t.reaction.TotalS();
    state.counters["loader_median_us"] = t.reaction.MedianUs();
    state.counters["loop_wake_median_us"] = t.loopWake.MedianUs();
    state.counters["send_path_s"] = t.sendPath.TotalS();
    state.counters["send_path_median_us"] = t.sendPath.MedianUs();
  }
}

BENCHMARK(BM_TransferEfficiency921600)
    ->Arg(256 * 1024)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The loader and the minimal one on the same paced line, in turns within one run, each against
// a simulator of its own: their medians and how much longer the loader takes.
void BM_LoaderBesideMinimal921600(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const int rounds = static_cast<int>(state.range(1));
  const sk::ByteString plain = bench::PlainImage(size);
  for (auto _ : state) {
    std::vector<double> minimal, loader, extra, minimalCycles, loaderCycles;
    for (int r = 0; r < rounds; ++r) {
      double m = 0;
      {
        testsupport::SimProcess sim({"--baud", "921600", "--frame-log", "/dev/null"});
        const bench::MinimalRun run = bench::MinimalTransfer(sim.TtyPath(), plain);
        m = run.seconds;
        minimalCycles.insert(minimalCycles.end(), run.cycleSeconds.begin(), run.cycleSeconds.end());
      }
      bench::LoaderRig rig({"--baud", "921600"}, bootshell::protocol::lkBluetooth);
      TransferTimes t = Transfer(rig, rig.MakeImage(size));
      if (!t.done) return state.SkipWithError("the transfer did not complete");
      const double l = std::chrono::duration<double>(t.written - t.firstFrame).count();
      loaderCycles.insert(loaderCycles.end(), t.cycleSeconds.begin(), t.cycleSeconds.end());
      minimal.push_back(m);
      loader.push_back(l);
      extra.push_back((l / m - 1) * 100);
    }
    auto median = [](std::vector<double> v) {
      std::sort(v.begin(), v.end());
      return v[v.size() / 2];
    };
    state.SetIterationTime(median(loader));
    state.counters["minimal_s"] = median(minimal);
    state.counters["loader_s"] = median(loader);
    state.counters["extra_percent"] = median(extra);
    // The fastest round of each: noise from the machine only ever adds time, so the best
    // rounds show what each costs by itself.
    const double bestMinimal = *std::min_element(minimal.begin(), minimal.end());
    const double bestLoader = *std::min_element(loader.begin(), loader.end());
    state.counters["extra_best_percent"] = (bestLoader / bestMinimal - 1) * 100;
    // The typical cycle of each over all rounds: a cycle that the machine slowed is one of
    // more than a thousand, where in a round it weighs a ninth.
    state.counters["minimal_cycle_us"] = median(minimalCycles) * 1e6;
    state.counters["loader_cycle_us"] = median(loaderCycles) * 1e6;
    state.counters["extra_cycle_percent"] =
        (median(loaderCycles) / median(minimalCycles) - 1) * 100;
    state.counters["extra_min_percent"] = *std::min_element(extra.begin(), extra.end());
    state.counters["extra_max_percent"] = *std::max_element(extra.begin(), extra.end());
  }
}

// 256 KiB, nine rounds: the median of the rounds stands up to a round the machine slowed.
BENCHMARK(BM_LoaderBesideMinimal921600)
    ->Args({256 * 1024, 9})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Cycles per second when the device answers at once, and the loader's CPU time per cycle (the
// whole process: the loop and the port's workers).
void BM_UnpacedThroughput(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const std::int64_t cycles = bootshell::protocol::CycleCount(static_cast<std::int64_t>(size));
  for (auto _ : state) {
    bench::LoaderRig rig({}, bootshell::protocol::lkUart);
    TransferTimes t = Transfer(rig, rig.MakeImage(size));
    if (!t.done) return state.SkipWithError("the transfer did not complete");
    const double total = std::chrono::duration<double>(t.written - t.firstFrame).count();
    state.SetIterationTime(total);
    state.counters["cycles"] = static_cast<double>(cycles);
    state.counters["cycles_per_s"] = static_cast<double>(cycles) / total;
    state.counters["cpu_us_per_cycle"] =
        (t.cpuWritten - t.cpuAtFirstFrame) * 1e6 / static_cast<double>(cycles);
  }
}

BENCHMARK(BM_UnpacedThroughput)
    ->Arg(4 << 20)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// A connected loader waiting for "Send": CPU time over the given seconds, as a share of a core.
void BM_IdleConnected(benchmark::State& state) {
  const auto seconds = std::chrono::seconds(state.range(0));
  for (auto _ : state) {
    bench::LoaderRig rig({}, bootshell::protocol::lkUart);
    Clock::time_point from{};
    double cpuFrom = 0, share = -1;
    struct : bootshell::loader::LoaderEvents {
      void StateChanged(std::int32_t S) override { state = S; }
      std::int32_t state = 0;
    } watcher;
    rig.Run(watcher, [&] {
      if (watcher.state != lsIdle) return;
      const auto now = Clock::now();
      if (from == Clock::time_point{}) {
        from = now;
        cpuFrom = bench::ProcessCpuSeconds();
      } else if (now - from >= seconds) {
        const double wall = std::chrono::duration<double>(now - from).count();
        share = (bench::ProcessCpuSeconds() - cpuFrom) / wall;
        rig.Session().Stop();
      }
    });
    if (share < 0) return state.SkipWithError("the loader did not connect");
    state.SetIterationTime(std::chrono::duration<double>(seconds).count());
    state.counters["cpu_percent_of_core"] = share * 100;
  }
}

BENCHMARK(BM_IdleConnected)->Arg(10)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
