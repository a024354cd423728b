// Hot-plug: entries of the override folder and nodes of the device folder reach a watching
// component as device-change messages, and a watcher goes away cleanly while events come.
// Linux only: the events come from folders and pseudo-terminals; the Windows watcher has its
// own cases.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "discovery/fake_device_tree.h"
#include "serialkit/comm/serial_comm.h"
#include "serialkit/platform/application.h"
#include "serialkit/platform/device_watcher.h"
#include "serialkit/platform/port_map.h"
#include "serialkit/testing/pseudo_terminal.h"
#include "support/eventually.h"
#include "support/sim_process.h"

namespace {

using namespace sk;
namespace pf = sk::platform;
namespace fs = std::filesystem;
using testsupport::ServeUntil;

// A port component that follows the watcher's messages.
struct WatchingComm {
  WatchingComm()
      : watcher([this](pf::TDeviceChangeMessage& Msg) {
          if (comm.WMDeviceChange(Msg)) ++handled;
          if (Msg.LParam != nullptr)
            lastName = reinterpret_cast<const pf::DEV_BROADCAST_PORT*>(Msg.LParam)->dbcp_name;
          lastEvent = Msg.WParam;
        }) {
    comm.GetDeviceList();
  }
  bool Lists(int PortNo) const { return comm.IndexOfDeviceData(PortNo) >= 0; }

  TskComm comm;
  int handled = 0;
  std::string lastName;
  std::uintptr_t lastEvent = 0;
  pf::DeviceWatcher watcher;
};

TEST(DeviceWatcher, OverrideEntryAddedAndRemovedReachesTheList) {
  discoverytest::FakeDeviceTree tree;
  pf::PseudoTerminal pty;
  WatchingComm w;
  EXPECT_FALSE(w.Lists(12));
  // The folder comes with the first entry: the watcher itself writes nothing to disk.
  EXPECT_FALSE(fs::exists(tree.Overrides()));
  ASSERT_TRUE(pf::PortMap().AddOverride(12, pty.SlavePath()));
  // The file's writing may bring more than one arrival: each is awaited as its own message.
  EXPECT_TRUE(ServeUntil([&] { return w.Lists(12) && w.lastEvent == pf::DBT_DEVICEARRIVAL; }));
  EXPECT_EQ(w.lastName, "COM12");
  ASSERT_TRUE(pf::PortMap().RemoveOverride(12));
  EXPECT_TRUE(
      ServeUntil([&] { return !w.Lists(12) && w.lastEvent == pf::DBT_DEVICEREMOVECOMPLETE; }));
}

TEST(DeviceWatcher, TtyNodeArrivingInTheDeviceFolderIsAnnounced) {
  discoverytest::FakeDeviceTree tree;
  WatchingComm w;
  if (w.watcher.UsesDeviceMonitor()) GTEST_SKIP() << "udev reports the machine's own devices";
  std::ofstream(tree.Dev() + "/tty5");  // a virtual console: not a serial port
  std::ofstream(tree.Dev() + "/ttyUSB4");
  ASSERT_TRUE(ServeUntil([&] { return w.handled > 0; }));
  EXPECT_EQ(w.lastName, "ttyUSB4");
  EXPECT_EQ(w.lastEvent, pf::DBT_DEVICEARRIVAL);
}

TEST(DeviceWatcher, SimulatorPortAppearsWithoutARestart) {
  discoverytest::FakeDeviceTree tree;
  WatchingComm w;
  EXPECT_FALSE(w.Lists(44));
  testsupport::SimProcess sim({"--port", "44"});
  ASSERT_TRUE(ServeUntil([&] { return w.Lists(44); }));
  EXPECT_EQ(w.comm.GetDevice(w.comm.IndexOfDeviceData(44))->NamePDO, sim.TtyPath());
  sim.Terminate();
  ASSERT_TRUE(ServeUntil([&] { return !w.Lists(44); }));
}

TEST(DeviceWatcher, DestroyedWhileEventsArriveIsClean) {
  discoverytest::FakeDeviceTree tree;
  pf::PseudoTerminal pty;
  std::atomic<bool> stop{false};
  std::thread churn([&] {
    const pf::PortMap map;
    for (std::uint32_t i = 0; !stop.load(); i = (i + 1) % 8) {
      map.AddOverride(200 + i, pty.SlavePath());
      map.RemoveOverride(200 + i);
    }
  });
  std::atomic<int> delivered{0};
  for (int round = 0; round < 20; ++round) {
    pf::DeviceWatcher watcher([&](pf::TDeviceChangeMessage&) { ++delivered; });
    pf::Application().ProcessMessages(round % 3 == 0 ? 20 : 0);
  }
  stop.store(true);
  churn.join();
  // Calls posted by the last watchers are served after their end and must do nothing.
  const int before = delivered.load();
  pf::Application().ProcessMessages(50);
  EXPECT_EQ(delivered.load(), before);
}

}  // namespace

#endif  // _WIN32
