// Qt's event loop serving the application object's queue of the GUI thread, and the waits a
// host's own loop makes on it.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <thread>
#include <vector>

#include "serialkit/platform/application.h"
#include "serialkit/widgets/qt_application_pump.h"

namespace sk::widgets {
namespace {

// Runs Qt's event loop until Done holds (checked as events come) or 10 s have passed.
bool RunQtUntil(const std::function<bool()>& Done) {
  QEventLoop loop;
  QTimer check;
  QElapsedTimer clock;
  clock.start();
  QObject::connect(&check, &QTimer::timeout, [&] {
    if (Done() || clock.elapsed() > 10000) loop.quit();
  });
  check.start(1);
  loop.exec();
  return Done();
}

TEST(QtApplicationPump, CallsPostedAndSynchronizedFromWorkersRunInQtsLoopOnTheGuiThread) {
  QtApplicationPump pump;
  auto& app = platform::Application();
  std::atomic<int> ranOnGui{0};
  auto onGui = [&] {
    if (QThread::currentThread() == pump.thread()) ++ranOnGui;
  };
  std::thread worker([&] {
    app.PostCall(app.MainThreadId(), onGui);
    app.Synchronize(onGui);  // returns only once Qt's loop has served it
  });
  EXPECT_TRUE(RunQtUntil([&] { return ranOnGui == 2; }));
  worker.join();
}

TEST(QtApplicationPump, TimersOfTheGuiThreadTickInQtsLoop) {
  QtApplicationPump pump;
  auto& app = platform::Application();
  int ticks = 0;
  const platform::TTimerID timer = app.CreateTimer([&] { ++ticks; });
  app.SetTimer(timer, 5);
  EXPECT_TRUE(RunQtUntil([&] { return ticks >= 3; }));
  app.DestroyTimer(timer);
}

TEST(QtApplicationPump, WakeUpEndsTheCurrentWaitOrTheNextOneAtOnce) {
  QtApplicationPump pump;
  QElapsedTimer clock;
  // Before the wait: the next wait ends at once.
  pump.WakeUp();
  clock.start();
  pump.ProcessMessagesWaiting(10000);
  EXPECT_LT(clock.elapsed(), 5000);

  // During the wait, from another thread.
  std::atomic<bool> waiting{false};
  std::thread waker([&] {
    while (!waiting) std::this_thread::yield();
    pump.WakeUp();
  });
  QTimer::singleShot(0, [&] { waiting = true; });
  clock.restart();
  pump.ProcessMessagesWaiting(10000);
  EXPECT_LT(clock.elapsed(), 5000);
  waker.join();

  // Without a wake-up the wait lasts its time, serving events meanwhile.
  bool served = false;
  QTimer::singleShot(0, [&] { served = true; });
  clock.restart();
  pump.ProcessMessagesWaiting(50);
  EXPECT_GE(clock.elapsed(), 45);
  EXPECT_TRUE(served);
}

TEST(QtApplicationPump, AWaitInsideAWaitIsWokenFirst) {
  QtApplicationPump pump;
  bool innerEnded = false;
  QElapsedTimer clock;
  clock.start();
  QTimer::singleShot(0, [&] {
    QTimer::singleShot(0, [&] { pump.WakeUp(); });
    pump.ProcessMessagesWaiting(10000);
    innerEnded = true;
    pump.WakeUp();
  });
  pump.ProcessMessagesWaiting(10000);
  EXPECT_TRUE(innerEnded);
  EXPECT_LT(clock.elapsed(), 5000);
}

// Counts its paints.
class PaintCounter : public QWidget {
 public:
  int paints = 0;

 protected:
  void paintEvent(QPaintEvent*) override { ++paints; }
};

// Paints soon after the last one wait for a quiet moment of a wait, and the calls for the
// screen go with them, before them, in posting order.
TEST(QtApplicationPump, RepaintsAndScreenCallsWaitForAWaitThatGoesQuiet) {
  QtApplicationPump pump;
  PaintCounter widget;
  widget.resize(40, 20);
  widget.show();
  ASSERT_TRUE(RunQtUntil([&] { return widget.paints > 0; }));
  pump.ProcessMessages();  // the host's loop runs; the last paint is recent
  const int before = widget.paints;

  std::vector<int> calls;  // the paints done when each call ran
  std::thread worker([&] {
    for (int i = 0; i < 3; ++i) pump.PostForScreen([&] { calls.push_back(widget.paints); });
  });
  worker.join();
  widget.update();
  pump.ProcessMessages();
  EXPECT_EQ(widget.paints, before) << "painted in a turn that does not wait";
  EXPECT_TRUE(calls.empty()) << "a call for the screen ran ahead of the paint";
  pump.ProcessMessagesWaiting(QtApplicationPump::kPaintIntervalMs * 3);
  EXPECT_EQ(widget.paints, before + 1) << "the held repaint was not done by the wait";
  EXPECT_EQ(calls, (std::vector<int>{before, before, before}));
}

// A host whose waits never go quiet (a device that answers at once) still paints, once the
// last paint is old enough.
TEST(QtApplicationPump, AHostThatNeverWaitsLongStillPaints) {
  QtApplicationPump pump;
  PaintCounter widget;
  widget.resize(40, 20);
  widget.show();
  ASSERT_TRUE(RunQtUntil([&] { return widget.paints > 0; }));
  const int before = widget.paints;
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < QtApplicationPump::kPaintGapMs * 6) {
    widget.update();
    pump.ProcessMessages();
  }
  EXPECT_GE(widget.paints, before + 2);
}

// What is held when the host's loop ends goes once Qt's own loop runs: no log line is lost.
TEST(QtApplicationPump, WhatIsHeldWhenTheHostsLoopEndsGoesInQtsLoop) {
  QtApplicationPump pump;
  PaintCounter widget;
  widget.resize(40, 20);
  widget.show();
  ASSERT_TRUE(RunQtUntil([&] { return widget.paints > 0; }));
  pump.ProcessMessages();
  const int before = widget.paints;
  bool called = false;
  pump.PostForScreen([&] { called = true; });
  widget.update();
  widget.repaint();  // at once, between the host's calls
  pump.ProcessMessages();
  ASSERT_EQ(widget.paints, before);
  ASSERT_FALSE(called);
  EXPECT_TRUE(RunQtUntil([&] { return called && widget.paints > before; }));
}

}  // namespace
}  // namespace sk::widgets
