// Port discovery figures: listing a machine of 256 serial ports (64 four-port USB adapters)
// in the quick and the full mode, and the time from an override entry appearing to a
// watching component listing it (median of the samples).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "serialkit/comm/serial_comm.h"
#include "discovery/fake_device_tree.h"
#include "serialkit/platform/application.h"
#include "serialkit/platform/device_watcher.h"
#include "serialkit/platform/port_map.h"
#include "serialkit/testing/pseudo_terminal.h"

namespace {

using namespace sk;
namespace pf = sk::platform;

// The tree is built once; the environment points every enumeration at it.
const discoverytest::FakeDeviceTree& BigMachine() {
  static const auto tree = [] {
    auto t = std::make_unique<discoverytest::FakeDeviceTree>();
    for (int a = 0; a < 64; ++a) {
      const std::string bus = "1-" + std::to_string(a + 1);
      const std::string usb =
          t->Usb(bus, "0403", "6011", "FT" + std::to_string(1000 + a), "FTDI", "Quad RS232-HS", 4);
      for (int i = 0; i < 4; ++i)
        t->UsbSerialPort(t->Interface(usb, i, "ftdi_sio"), "ttyUSB" + std::to_string(4 * a + i),
                         "ftdi_sio");
    }
    return t;
  }();
  return *tree;
}

void ListPorts(benchmark::State& state, TskEnumPorts Mode) {
  BigMachine();
  for (auto _ : state) {
    TskComm comm;
    comm.SetEnumPorts(Mode);
    comm.GetDeviceList();
    if (comm.DeviceCount() != 256) state.SkipWithError("not 256 ports");
    benchmark::DoNotOptimize(comm.DeviceCount());
  }
}

void BM_ListPortsQuick(benchmark::State& state) {
  ListPorts(state, epQuickAll);
}
void BM_ListPortsFull(benchmark::State& state) {
  ListPorts(state, epFullInfo);
}
BENCHMARK(BM_ListPortsQuick)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListPortsFull)->Unit(benchmark::kMillisecond);

// Override entry created -> the watching component's list holds it.
void BM_HotPlugToList(benchmark::State& state) {
  discoverytest::FakeDeviceTree tree;
  pf::PseudoTerminal pty;
  TskComm comm;
  comm.GetDeviceList();
  pf::DeviceWatcher watcher([&](pf::TDeviceChangeMessage& Msg) { comm.WMDeviceChange(Msg); });
  const pf::PortMap map;
  std::vector<double> samples;
  auto serveUntil = [&](bool Listed) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((comm.IndexOfDeviceData(77) >= 0) != Listed) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      pf::Application().ProcessMessages(100);
    }
    return true;
  };
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    map.AddOverride(77, pty.SlavePath());
    if (!serveUntil(true)) state.SkipWithError("never listed");
    const auto end = std::chrono::steady_clock::now();
    samples.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    state.PauseTiming();
    map.RemoveOverride(77);
    if (!serveUntil(false)) state.SkipWithError("never removed");
    state.ResumeTiming();
  }
  std::sort(samples.begin(), samples.end());
  if (!samples.empty()) state.counters["median_ms"] = samples[samples.size() / 2];
}
BENCHMARK(BM_HotPlugToList)->UseManualTime()->Iterations(100)->Unit(benchmark::kMillisecond);

}  // namespace
