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

// A turn that does not wait leaves a repaint asked for soon after the last one to the next
// wait; once the interval has passed, it paints at once.
TEST(QtApplicationPump, ATurnThatDoesNotWaitLeavesARecentRepaintToTheNextWait) {
  QtApplicationPump pump;
  PaintCounter widget;
  widget.resize(40, 20);
  widget.show();
  ASSERT_TRUE(RunQtUntil([&] { return widget.paints > 0; }));
  pump.ProcessMessages();  // the last paint is now recent
  const int before = widget.paints;

  widget.update();
  pump.ProcessMessages();
  EXPECT_EQ(widget.paints, before) << "painted in a turn that does not wait";
  pump.ProcessMessagesWaiting(20);
  EXPECT_EQ(widget.paints, before + 1) << "the held repaint was not done by the wait";

  QThread::msleep(QtApplicationPump::kPaintIntervalMs + 5);
  widget.update();
  pump.ProcessMessages();
  EXPECT_EQ(widget.paints, before + 2) << "held back although the last paint was old";
}

}  // namespace
}  // namespace sk::widgets
