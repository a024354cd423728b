// The silence timeout: packets that end by it, OnTimeout, and the timer armed from other
// threads while it ticks in its own.
#include <stdexcept>
#include <thread>

#include "chain_fixtures.h"

namespace {

using namespace sk;
using namespace chaintest;
using Clock = std::chrono::steady_clock;

// A processor with Timeout 200 whose reports and timeouts are timed.
class Silence : public ::testing::Test {
 protected:
  void SetUp() override {
    proc.SetTimeout(200);
    proc.SetOnDataPacket(journal.For("proc"));
    proc.SetOnTimeout(TNotifyEvent::Bind(this, [this](TObject* Sender) {
      EXPECT_EQ(Sender, &proc);
      timeoutAt.push_back(Clock::now());
    }));
  }
  // Feeds the chunks one after another, serving this thread's timers in between; false when
  // the machine was too slow to keep the gaps well below the timeout.
  bool FeedQuickly(const std::vector<std::string>& Chunks) {
    Clock::time_point previous{};
    for (const std::string& c : Chunks) {
      const auto now = Clock::now();
      if (previous != Clock::time_point{} && now - previous > 100ms) return false;
      proc.DataReceive(Ptr(c), Len(c));
      previous = lastFed = Clock::now();
      platform::Application().ProcessMessages();
    }
    return true;
  }
  // A fresh timer, as after the device opened.
  void Restart() {
    proc.StartAsyncTimer(0);
    proc.Reset();
  }

  OpenProcessor proc;
  PacketJournal journal;
  std::vector<Clock::time_point> timeoutAt;
  Clock::time_point lastFed{};
};

TEST_F(Silence, APacketEndingByTimeoutCollectsTheChunksAndIsReportedOnceAfterTheSilence) {
  TskDataPacket& silent = proc.DataPackets().Add();
  silent.SetPacketEndByTimeout(true);
  silent.SetTag(7);
  const std::vector<std::string> chunks{"first,", "second,", "third"};
  bool fed = false;
  for (int attempt = 0; attempt < 3 && !fed; ++attempt) {
    Restart();
    fed = FeedQuickly(chunks);
  }
  ASSERT_TRUE(fed) << "the chunks could not be fed within 100 ms of each other";
  ASSERT_TRUE(ServeUntil([&] { return journal.Count() > 0; }));
  const auto reportedAt = Clock::now();
  EXPECT_GE(reportedAt - lastFed, 200ms);
  const auto got = journal.Get();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].tag, 7);
  EXPECT_EQ(got[0].data, "first,second,third");
  EXPECT_EQ(got[0].thread, platform::CurrentThreadId());
  EXPECT_TRUE(timeoutAt.empty());
  EXPECT_FALSE(proc.TimerArmed());  // once: nothing is counting down any more
  EXPECT_EQ(silent.DataLength(), 0);
}

TEST_F(Silence, WithoutSuchAPacketOnTimeoutIsRaisedOnceAfterTheLastChunk) {
  AddAnswers(proc, {0});
  bool fed = false;
  for (int attempt = 0; attempt < 3 && !fed; ++attempt) {
    Restart();
    fed = FeedQuickly({"answerB0", "no end yet"});
  }
  ASSERT_TRUE(fed);
  ASSERT_TRUE(ServeUntil([&] { return !timeoutAt.empty(); }));
  EXPECT_GE(timeoutAt[0] - lastFed, 200ms);
  EXPECT_EQ(timeoutAt.size(), 1u);
  EXPECT_FALSE(proc.TimerArmed());
  EXPECT_EQ(journal.Count(), 0u);
}

TEST_F(Silence, TimeoutZeroNeverStartsTheTimer) {
  proc.SetTimeout(0);
  TskDataPacket& silent = proc.DataPackets().Add();
  silent.SetPacketEndByTimeout(true);
  proc.Reset();
  const std::string bytes = "data";
  proc.DataReceive(Ptr(bytes), Len(bytes));
  EXPECT_FALSE(proc.TimerArmed());
  proc.SetTimeout(-5);
  proc.DataReceive(Ptr(bytes), Len(bytes));
  EXPECT_FALSE(proc.TimerArmed());
}

TEST_F(Silence, ChunksFromAnotherThreadAreReportedInTheTimersThreadAfterTheSilence) {
  TskDataPacket& silent = proc.DataPackets().Add();
  silent.SetPacketEndByTimeout(true);
  proc.Reset();
  const auto self = platform::CurrentThreadId();
  std::atomic<bool> done{false};
  std::thread feeder([&] {
    for (int i = 0; i < 50; ++i) {
      const std::string c = std::to_string(i % 10);
      proc.DataReceive(Ptr(c), Len(c));
    }
    done = true;
  });
  // The feeder's chunks race with the timer's ticks; each chunk restarts the countdown, and a
  // slow feeder may see its bytes reported in more than one packet, in order.
  std::string all;
  ASSERT_TRUE(ServeUntil([&] {
    all.clear();
    for (const Reported& r : journal.Get()) all += r.data;
    return done && all.size() == 50;
  }));
  feeder.join();
  EXPECT_EQ(all, "01234567890123456789012345678901234567890123456789");
  for (const Reported& r : journal.Get()) EXPECT_EQ(r.thread, self);
}

TEST_F(Silence, ATickOvertakenByANewCountdownIsIgnored) {
  proc.StartAsyncTimer(200);
  // As if the tick had been dispatched just before the countdown restarted.
  proc.DoAsyncTimeout(const_cast<TskTimer*>(proc.AsyncTimer()));
  EXPECT_TRUE(timeoutAt.empty());
  EXPECT_TRUE(proc.TimerArmed());
  // A call that is not the timer's tick is always taken.
  proc.DoAsyncTimeout(nullptr);
  EXPECT_EQ(timeoutAt.size(), 1u);
  EXPECT_FALSE(proc.TimerArmed());
  EXPECT_EQ(proc.afterSendComplete, 1);
}

TEST_F(Silence, DataArrivingWhileTheTimeoutIsHandledGetsACountdownOfItsOwn) {
  AddAnswers(proc, {0});
  proc.Reset();
  proc.SetOnTimeout(TNotifyEvent::Bind(this, [this](TObject*) {
    timeoutAt.push_back(Clock::now());
    if (timeoutAt.size() > 1) return;
    const std::string late = "late";
    proc.DataReceive(Ptr(late), Len(late));
    lastFed = Clock::now();
  }));
  const std::string bytes = "first";
  proc.DataReceive(Ptr(bytes), Len(bytes));
  ASSERT_TRUE(ServeUntil([&] { return timeoutAt.size() >= 2; }));
  EXPECT_GE(timeoutAt[1] - lastFed, 200ms);
  EXPECT_FALSE(proc.TimerArmed());
}

TEST_F(Silence, AThrowingOnTimeoutBecomesAFatalErrorThatTheTimerDiscards) {
  RecordingLog log;
  proc.SetLog(&log);
  AddAnswers(proc, {0});
  proc.Reset();
  proc.SetOnTimeout(TNotifyEvent::Bind(this, [](TObject*) { throw std::runtime_error("late"); }));
  try {
    proc.DoAsyncTimeout(nullptr);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "EXCEPTION in OnTimout handler.late");
  }
  log.Clear();
  const std::string bytes = "x";
  proc.DataReceive(Ptr(bytes), Len(bytes));
  ASSERT_TRUE(ServeUntil([&] { return !log.Lines().empty(); }));
  EXPECT_EQ(log.Lines(),
            std::vector<std::string>{"0 Fatal Error: 15, 1, EXCEPTION in OnTimout handler.late"});
  EXPECT_FALSE(proc.TimerArmed());
}

TEST_F(Silence, ASendTakenByTheHookEndsInAfterSendCompleteWhenTheTimerHasRun) {
  TestDevice device;
  proc.SetDevice(&device);
  std::vector<std::string> hooked;
  proc.SetOnDataSend(TDataSendEvent::Bind(
      this, [&](TObject*, const Byte* p, std::uint32_t n, bool synchro, bool& handled) {
        hooked.push_back(std::string(reinterpret_cast<const char*>(p), n) +
                         (synchro ? " sync" : " async"));
        handled = true;
      }));
  proc.StartAsyncTimer(50);  // the interval the timer keeps
  proc.StartAsyncTimer(0);
  const std::string frame = "\xA1\x01";
  proc.DoDataSend(Ptr(frame), Len(frame));
  EXPECT_EQ(hooked, std::vector<std::string>{frame + " async"});
  EXPECT_TRUE(device.Data().empty());
  EXPECT_TRUE(proc.TimerArmed());
  ASSERT_TRUE(ServeUntil([&] { return proc.afterSendComplete > 0; }));
  EXPECT_EQ(proc.afterSendComplete, 1);
  EXPECT_FALSE(proc.TimerArmed());
}

}  // namespace
