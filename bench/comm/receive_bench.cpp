// The receive path on a pseudo-terminal: from a write to the master end until the port's
// OnAfterReceive has seen the bytes, handled in the message worker or, with UseMainThread,
// in the main thread serving its messages. Counters give the median and the 99th percentile.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <vector>

#include "serialkit/comm/serial_comm.h"
#include "serialkit/platform/application.h"
#include "serialkit/testing/pseudo_terminal.h"
#include "serialkit/platform/serial_device.h"

namespace {

using Clock = std::chrono::steady_clock;

class ReceivingPort {
 public:
  explicit ReceivingPort(bool UseMainThread) {
    com_.SetStreamProtocol(sk::spNone);
    com_.SetBaudRate(921600);
    com_.SetUseMainThread(UseMainThread);
    com_.SetOnAfterReceive(
        sk::TOnReceived::Bind(this, [this](sk::TObject*, const sk::Byte*, std::uint32_t n) {
          received_.fetch_add(n, std::memory_order_release);
          received_.notify_one();
        }));
    com_.SetExtHandle(sk::platform::OpenSerialDevice(pty_.SlavePath()));
  }
  ~ReceivingPort() { com_.SetActive(false); }

  bool Write(const std::vector<std::uint8_t>& Bytes) {
    return ::write(pty_.MasterFd(), Bytes.data(), Bytes.size()) ==
           static_cast<ssize_t>(Bytes.size());
  }
  std::uint64_t Received() const { return received_.load(std::memory_order_acquire); }
  // Until more than Seen bytes have been received: asleep, or serving the main thread's
  // queue when the port hands its events over to it.
  void WaitBeyond(std::uint64_t Seen) {
    if (com_.UseMainThread()) {
      while (Received() <= Seen)
        sk::platform::Application().ProcessMessages(sk::platform::kInfinite);
    } else {
      while (Received() <= Seen) received_.wait(Seen, std::memory_order_acquire);
    }
  }

 private:
  sk::platform::PseudoTerminal pty_;
  std::atomic<std::uint64_t> received_{0};
  sk::TskComm com_;
};

void Report(benchmark::State& state, std::vector<double>& us) {
  if (us.empty()) return;
  std::sort(us.begin(), us.end());
  state.counters["p50_us"] = us[us.size() / 2];
  state.counters["p99_us"] = us[std::min(us.size() - 1, us.size() * 99 / 100)];
}

// One chunk of range(0) bytes at a time, each waited for before the next is written.
void ChunkLatency(benchmark::State& state, bool UseMainThread) {
  ReceivingPort port(UseMainThread);
  const std::vector<std::uint8_t> chunk(static_cast<std::size_t>(state.range(0)), 0x55);
  std::vector<double> us;
  us.reserve(100000);
  for (auto _ : state) {
    const auto seen = port.Received();
    const auto start = Clock::now();
    if (!port.Write(chunk)) {
      state.SkipWithError("write to the pseudo-terminal failed");
      break;
    }
    // A chunk may come in pieces: wait for all of it. The count is read once per look: read
    // again for the wait, it may already hold the rest, and the wait would be for bytes beyond
    // the chunk that never come.
    for (auto got = port.Received(); got < seen + chunk.size(); got = port.Received())
      port.WaitBeyond(got);
    const std::chrono::duration<double> took = Clock::now() - start;
    state.SetIterationTime(took.count());
    us.push_back(took.count() * 1e6);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
  Report(state, us);
}

void BM_ReceiveInMessageWorker(benchmark::State& state) {
  ChunkLatency(state, false);
}
BENCHMARK(BM_ReceiveInMessageWorker)->Arg(1)->Arg(64)->Arg(1024)->UseManualTime();

void BM_ReceiveInMainThread(benchmark::State& state) {
  ChunkLatency(state, true);
}
BENCHMARK(BM_ReceiveInMainThread)->Arg(1)->Arg(64)->UseManualTime();

}  // namespace
