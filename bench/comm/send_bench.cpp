// The send path on a pseudo-terminal whose other end is drained by a thread: what a waited
// byte costs its caller, what an unwaited block costs, and a loader frame (four header bytes
// one at a time, then a 1024-byte block).
#include <benchmark/benchmark.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "serialkit/comm/serial_comm.h"
#include "serialkit/testing/pseudo_terminal.h"
#include "serialkit/platform/serial_device.h"

namespace {

class DrainedPort {
 public:
  DrainedPort() {
    com_.SetStreamProtocol(sk::spNone);
    com_.SetBaudRate(921600);
    com_.SetExtHandle(sk::platform::OpenSerialDevice(pty_.SlavePath()));
    drain_ = std::thread([this] {
      std::vector<std::uint8_t> buf(65536);
      while (!stop_.load()) {
        pollfd p{pty_.MasterFd(), POLLIN, 0};
        if (::poll(&p, 1, 20) > 0) received_ += ::read(pty_.MasterFd(), buf.data(), buf.size());
      }
    });
  }
  ~DrainedPort() {
    com_.SetActive(false);
    stop_.store(true);
    drain_.join();
  }
  sk::TskComm& Com() { return com_; }

 private:
  sk::platform::PseudoTerminal pty_;
  sk::TskComm com_;
  std::atomic<bool> stop_{false};
  long received_ = 0;
  std::thread drain_;
};

void BM_SendChar(benchmark::State& state) {
  DrainedPort port;
  for (auto _ : state) port.Com().SendChar(u'\xA1');
  state.SetBytesProcessed(state.iterations());
}
BENCHMARK(BM_SendChar);

void BM_SendData(benchmark::State& state) {
  DrainedPort port;
  std::vector<std::uint8_t> block(static_cast<std::size_t>(state.range(0)), 0x5A);
  for (auto _ : state) port.Com().SendData(block.data(), static_cast<std::uint32_t>(block.size()));
  port.Com().FlushOutputBuffer();
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SendData)->Arg(64)->Arg(1024)->Arg(16384);

void BM_LoaderFrame(benchmark::State& state) {
  DrainedPort port;
  std::vector<std::uint8_t> block(1024, 0x33);
  for (auto _ : state) {
    for (char16_t c : {u'\xA8', u'\x01', u'\x02', u'\x03'}) port.Com().SendChar(c);
    port.Com().SendData(block.data(), 1024);
  }
  port.Com().FlushOutputBuffer();
  state.SetBytesProcessed(state.iterations() * 1028);
}
BENCHMARK(BM_LoaderFrame);

}  // namespace
