#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "messaging/lambda_thread.h"
#include "serialkit/comm/timer.h"
#include "serialkit/platform/application.h"
#include "support/eventually.h"

using namespace sk;
using namespace sk::platform;
using sk::test::LambdaThread;
using namespace std::chrono_literals;

namespace {

// Counts the ticks of a timer and where they ran.
struct TickCounter {
  std::atomic<int> ticks{0};
  std::atomic<TThreadID> lastThread{0};
  TObject* lastSender = nullptr;
  void OnTick(TObject* Sender) {
    lastSender = Sender;
    lastThread = CurrentThreadId();
    ++ticks;
  }
};

using testsupport::ServeUntil;

}  // namespace

TEST(TskTimer, StartsEnabledWithOneSecondAndTicksOnlyOnceOnTimerIsSet) {
  TApplication app;
  TskTimer timer(app);
  EXPECT_TRUE(timer.Enabled());
  EXPECT_EQ(1000u, timer.Interval());
  EXPECT_EQ(kInfinite, app.MillisecondsToNextTimer(app.MainThreadId()));
  TickCounter counter;
  timer.SetOnTimer(TNotifyEvent(&counter, &TickCounter::OnTick));
  EXPECT_LE(app.MillisecondsToNextTimer(app.MainThreadId()), 1000u);
}

TEST(TskTimer, TicksInTheCreatingThreadWithItselfAsSender) {
  TApplication app;
  TskTimer timer(app);
  TickCounter counter;
  timer.SetInterval(5);
  timer.SetOnTimer(TNotifyEvent(&counter, &TickCounter::OnTick));
  ASSERT_TRUE(ServeUntil(app, [&] { return counter.ticks >= 3; }));
  EXPECT_EQ(app.MainThreadId(), counter.lastThread);
  EXPECT_EQ(&timer, counter.lastSender);
}

TEST(TskTimer, ReArmedFromAnotherThreadStillTicksInItsOwn) {
  TApplication app;
  TskTimer timer(app);
  TickCounter counter;
  timer.SetEnabled(false);
  timer.SetInterval(5);
  timer.SetOnTimer(TNotifyEvent(&counter, &TickCounter::OnTick));
  LambdaThread worker(app, [&](LambdaThread&) { timer.SetEnabled(true); });
  worker.Start();
  worker.WaitFor();
  ASSERT_TRUE(ServeUntil(app, [&] { return counter.ticks >= 1; }));
  EXPECT_EQ(app.MainThreadId(), counter.lastThread);
  EXPECT_NE(worker.ThreadID(), counter.lastThread);
}

TEST(TskTimer, AWorkerServingItsOwnQueueGetsTheTicksOfItsTimers) {
  TApplication app;
  TickCounter counter;
  LambdaThread worker(app, [&](LambdaThread&) {
    TskTimer timer(app);
    timer.SetInterval(5);
    timer.SetOnTimer(TNotifyEvent(&counter, &TickCounter::OnTick));
    ServeUntil(app, [&] { return counter.ticks >= 2; });
  });
  worker.Start();
  worker.WaitFor();
  EXPECT_GE(counter.ticks, 2);
  EXPECT_EQ(worker.ThreadID(), counter.lastThread);
}

TEST(TskTimer, ADisabledOrZeroIntervalTimerNeverTicks) {
  TApplication app;
  TickCounter reference, disabled, zero;
  TskTimer ref(app), off(app), none(app);
  ref.SetInterval(2);
  ref.SetOnTimer(TNotifyEvent(&reference, &TickCounter::OnTick));
  off.SetInterval(1);
  off.SetOnTimer(TNotifyEvent(&disabled, &TickCounter::OnTick));
  off.SetEnabled(false);
  none.SetOnTimer(TNotifyEvent(&zero, &TickCounter::OnTick));
  none.SetInterval(0);
  ASSERT_TRUE(ServeUntil(app, [&] { return reference.ticks >= 5; }));
  EXPECT_EQ(0, disabled.ticks);
  EXPECT_EQ(0, zero.ticks);
}

TEST(TskTimer, AHandlerThatDisablesItsTimerGetsOneTick) {
  TApplication app;
  TskTimer timer(app), reference(app);
  TickCounter ref;
  int ticks = 0;
  timer.SetInterval(1);
  timer.SetOnTimer(TNotifyEvent::Bind(&timer, [&](TObject*) {
    ++ticks;
    timer.SetEnabled(false);
  }));
  reference.SetInterval(3);
  reference.SetOnTimer(TNotifyEvent(&ref, &TickCounter::OnTick));
  ASSERT_TRUE(ServeUntil(app, [&] { return ref.ticks >= 5; }));
  EXPECT_EQ(1, ticks);
}

TEST(TskTimer, AThrowingHandlerIsReportedWithItsTextAndKeepsTicking) {
  TApplication app;
  std::vector<std::string> reports;
  app.SetErrorReport([&](const std::string& m) { reports.push_back(m); });
  TskTimer timer(app);
  int ticks = 0;
  timer.SetInterval(1);
  timer.SetOnTimer(TNotifyEvent::Bind(&timer, [&](TObject*) {
    ++ticks;
    throw std::runtime_error("tick failed");
  }));
  ASSERT_TRUE(ServeUntil(app, [&] { return ticks >= 3; }));
  EXPECT_EQ(reports, std::vector<std::string>(static_cast<std::size_t>(ticks), "tick failed"));
}

TEST(TskTimer, DestroyedInAnotherThreadWaitsForARunningTick) {
  TApplication app;
  auto timer = std::make_unique<TskTimer>(app);
  std::atomic<bool> inTick{false};
  std::atomic<bool> release{false};
  std::atomic<bool> tickEnded{false};
  std::atomic<bool> destroyed{false};
  timer->SetInterval(1);
  timer->SetOnTimer(TNotifyEvent::Bind(nullptr, [&](TObject*) {
    inTick = true;
    while (!release) std::this_thread::yield();
    tickEnded = true;
  }));
  std::atomic<bool> endedBeforeDestroyed{false};
  LambdaThread destroyer(app, [&](LambdaThread&) {
    while (!inTick) std::this_thread::yield();
    release = true;
    timer.reset();
    endedBeforeDestroyed = tickEnded.load();
    destroyed = true;
  });
  destroyer.Start();
  ServeUntil(app, [&] { return inTick.load(); });
  // WaitFor keeps this thread free to finish the tick it is inside of.
  destroyer.WaitFor();
  EXPECT_TRUE(destroyed);
  EXPECT_TRUE(endedBeforeDestroyed);
}
