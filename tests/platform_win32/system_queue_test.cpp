// The application object on the system's own queues: what other code pumping those queues
// sees of its messages and timers, and what it posts that the application takes.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <utility>

#include "serialkit/platform/application.h"
#include "support/eventually.h"

namespace {

namespace pf = sk::platform;

TEST(SystemQueue, ThreadMessagesTravelInTheSystemQueueBothWays) {
  pf::TApplication app;
  std::promise<std::pair<DWORD, pf::TThreadID>> started;
  std::atomic<int> fromApp{0};
  std::atomic<int> received{0};
  std::thread worker([&] {
    started.set_value({::GetCurrentThreadId(), app.EnsureMessageQueue()});
    // A loop of the system's own, as a toolkit would run it, sees the application's post.
    MSG m;
    while (::GetMessageW(&m, nullptr, 0, 0) > 0) {
      if (m.message == 0xC123 && m.wParam == 7 && m.lParam == -9) ++fromApp;
      if (m.message == 0xC124) break;
    }
    // And the application's receive takes what the system's post put there.
    pf::TMsg msg;
    if (app.ReceiveMessage(msg, 0xC000, 0xFFFF) && msg.message == 0xC125) ++received;
  });
  const auto [systemId, id] = started.get_future().get();
  ASSERT_TRUE(app.PostToThread(id, 0xC123, 7, -9));
  ASSERT_TRUE(::PostThreadMessageW(systemId, 0xC124, 0, 0));
  ASSERT_TRUE(::PostThreadMessageW(systemId, 0xC125, 0, 0));
  worker.join();
  EXPECT_EQ(fromApp, 1);
  EXPECT_EQ(received, 1);
}

TEST(SystemQueue, ATimerTicksWhereverItsThreadsQueueIsServed) {
  pf::TApplication app;
  std::atomic<int> ticks{0};
  const auto timer = app.CreateTimer([&] { ++ticks; });
  app.SetTimer(timer, 10);
  // Served by a plain system loop, which only dispatches to the timer's hidden window.
  testsupport::Eventually([&] { return ticks >= 2; }, std::chrono::seconds(5),
                          [] {
                            MSG m;
                            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
                            while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
                              ::DispatchMessageW(&m);
                          });
  EXPECT_GE(ticks, 2);
  app.KillTimer(timer);
  const int stopped = ticks;
  EXPECT_FALSE(app.ProcessMessages(60)) << "a killed timer leaves nothing to serve";
  EXPECT_EQ(ticks, stopped);
  app.DestroyTimer(timer);
}

}  // namespace
