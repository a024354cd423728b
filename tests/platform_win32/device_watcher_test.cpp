// The device watcher's hidden window: the system's port broadcasts reach the creating thread
// as the neutral message, other broadcasts do not, and nothing comes after its end.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform_win32/port_broadcast.h"
#include "serialkit/platform/application.h"
#include "serialkit/platform/device_watcher.h"
#include "support/eventually.h"

namespace {

namespace pf = sk::platform;

struct Heard {
  std::uintptr_t event;
  std::uint32_t type;  // of the header; 0xFFFFFFFF without one
  std::string name;
};

using testsupport::ServeUntil;
using win32test::Broadcast;
using win32test::PortBroadcast;

TEST(DeviceWatcher, PortBroadcastsReachTheCreatingThreadInOrder) {
  std::vector<Heard> heard;
  pf::DeviceWatcher watcher([&](pf::TDeviceChangeMessage& Msg) {
    EXPECT_EQ(Msg.Msg, WM_DEVICECHANGE);
    heard.push_back({Msg.WParam, Msg.LParam != nullptr ? Msg.LParam->dbch_devicetype : 0xFFFFFFFF,
                     Msg.LParam != nullptr
                         ? reinterpret_cast<const pf::DEV_BROADCAST_PORT*>(Msg.LParam)->dbcp_name
                         : ""});
  });
  EXPECT_TRUE(watcher.UsesDeviceMonitor());
  const PortBroadcast com7(L"COM7");
  const PortBroadcast accented(L"Port \u00e9");
  pf::DEV_BROADCAST_HDR volume{sizeof(pf::DEV_BROADCAST_HDR), pf::DBT_DEVTYP_VOLUME, 0};
  Broadcast(pf::DBT_DEVICEARRIVAL, &volume);  // not a port: not passed on
  Broadcast(pf::DBT_DEVICEARRIVAL, &com7);
  Broadcast(0x8001, &com7);  // a query to remove: no change yet
  Broadcast(pf::DBT_DEVICEREMOVECOMPLETE, &accented);
  Broadcast(pf::DBT_DEVNODES_CHANGED, nullptr);
  ASSERT_TRUE(ServeUntil([&] { return heard.size() >= 3; }));
  ASSERT_EQ(heard.size(), 3u);
  EXPECT_EQ(heard[0].event, pf::DBT_DEVICEARRIVAL);
  EXPECT_EQ(heard[0].type, pf::DBT_DEVTYP_PORT);
  EXPECT_EQ(heard[0].name, "COM7");
  EXPECT_EQ(heard[1].event, pf::DBT_DEVICEREMOVECOMPLETE);
  EXPECT_EQ(heard[1].name, "Port \xC3\xA9");
  EXPECT_EQ(heard[2].event, pf::DBT_DEVNODES_CHANGED);
  EXPECT_EQ(heard[2].type, 0xFFFFFFFFu);
}

TEST(DeviceWatcher, APortNameIsReadNoFurtherThanTheHeadersSize) {
  std::string name;
  pf::DeviceWatcher watcher([&](pf::TDeviceChangeMessage& Msg) {
    name = reinterpret_cast<const pf::DEV_BROADCAST_PORT*>(Msg.LParam)->dbcp_name;
  });
  PortBroadcast port(L"COM12XYZ");
  port.header.dbch_size = sizeof port.header + 5 * sizeof(wchar_t);  // "COM12", no NUL
  Broadcast(pf::DBT_DEVICEARRIVAL, &port);
  ASSERT_TRUE(ServeUntil([&] { return !name.empty(); }));
  EXPECT_EQ(name, "COM12");
}

TEST(DeviceWatcher, NothingIsDeliveredAfterItsEnd) {
  int delivered = 0;
  const PortBroadcast com5(L"COM5");
  for (int round = 0; round < 10; ++round) {
    pf::DeviceWatcher watcher([&](pf::TDeviceChangeMessage&) { ++delivered; });
    Broadcast(pf::DBT_DEVICEARRIVAL, &com5);
    if (round % 2 == 0) pf::Application().ProcessMessages(0);
  }
  const int before = delivered;
  // Calls the watchers posted before their end are served now and must do nothing.
  pf::Application().ProcessMessages(50);
  EXPECT_EQ(delivered, before);
  EXPECT_EQ(delivered, 5) << "the rounds that served their messages heard them";
}

}  // namespace
