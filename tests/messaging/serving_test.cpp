#include <gtest/gtest.h>

#include <csignal>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "messaging/lambda_thread.h"
#include "serialkit/platform/application.h"

using namespace sk::platform;
using sk::test::LambdaThread;
using namespace std::chrono_literals;

TEST(ProcessMessages, ServesPostedCallsAndMessagesInPostingOrder) {
  TApplication app;
  std::vector<std::string> seen;
  app.SetMessageHandler([&](const TMsg& m) { seen.push_back("msg " + std::to_string(m.wParam)); });
  const TThreadID self = app.MainThreadId();
  app.PostCall(self, [&] { seen.push_back("call 1"); });
  app.PostToThread(self, 0xC020, 2);
  app.PostCall(self, [&] { seen.push_back("call 3"); });
  EXPECT_TRUE(app.ProcessMessages());
  EXPECT_EQ((std::vector<std::string>{"call 1", "msg 2", "call 3"}), seen);
  EXPECT_FALSE(app.ProcessMessages());  // nothing left
}

TEST(ProcessMessages, AFailingPostedCallGoesToTheErrorReportAndTheRestIsServed) {
  TApplication app;
  std::vector<std::string> reports;
  app.SetErrorReport([&](const std::string& m) { reports.push_back(m); });
  bool later = false;
  app.PostCall(app.MainThreadId(), [] { throw std::runtime_error("call failed"); });
  app.PostCall(app.MainThreadId(), [&] { later = true; });
  app.ProcessMessages();
  EXPECT_EQ(std::vector<std::string>{"call failed"}, reports);
  EXPECT_TRUE(later);
}

TEST(ProcessMessages, ACallPostedWhileServingWaitsForTheNextPass) {
  TApplication app;
  int runs = 0;
  std::function<void()> again = [&] {
    ++runs;
    app.PostCall(app.MainThreadId(), again);
  };
  app.PostCall(app.MainThreadId(), again);
  app.ProcessMessages();
  EXPECT_EQ(1, runs);  // a call that reposts itself cannot hold the caller forever
  app.ProcessMessages();
  EXPECT_EQ(2, runs);
}

TEST(ProcessMessages, WakeUpFromAnotherThreadEndsAWaitAtOnce) {
  TApplication app;
  LambdaThread worker(app, [&](LambdaThread&) { app.WakeUp(); });
  const auto start = std::chrono::steady_clock::now();
  worker.Start();
  EXPECT_TRUE(app.ProcessMessages(kInfinite));  // would never return without the wake-up
  EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
}

TEST(ProcessMessages, AWakeUpBeforeTheWaitEndsTheNextWaitOnly) {
  TApplication app;
  app.WakeUp();
  EXPECT_TRUE(app.ProcessMessages(kInfinite));
  EXPECT_FALSE(app.ProcessMessages(0));  // consumed: nothing left to serve, no wake-up
}

TEST(ProcessMessages, AWaitWithNothingToServeTimesOut) {
  TApplication app;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(app.ProcessMessages(20));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 20ms);
}

TEST(ProcessMessages, APostedHookHearsOfEverythingQueuedForAThread) {
  TApplication app;
  std::vector<TThreadID> heard;
  app.SetPostedHook([&](TThreadID t) { heard.push_back(t); });
  const TThreadID main = app.MainThreadId();
  app.PostToThread(main, 0xC030);
  app.PostCall(main, [] {});
  app.WakeUp();
  const TTimerID timer = app.CreateTimer([] {});
  app.SetTimer(timer, 50);
  EXPECT_EQ(std::vector<TThreadID>(4, main), heard);
  EXPECT_LE(app.MillisecondsToNextTimer(main), 50u);
  app.DestroyTimer(timer);
  EXPECT_EQ(kInfinite, app.MillisecondsToNextTimer(main));
}

TEST(WaitServing, ServesSynchronizedCallsButNotPostedOnes) {
  TApplication app;
  bool posted = false;
  app.PostCall(app.MainThreadId(), [&] { posted = true; });
  std::atomic<bool> synced{false};
  LambdaThread worker(app, [&](LambdaThread& self) { self.Synchronize([&] { synced = true; }); });
  worker.Start();
  worker.WaitFor();
  EXPECT_TRUE(synced);
  EXPECT_FALSE(posted);  // a wait for a worker runs nothing else of the main thread
  app.ProcessMessages();
  EXPECT_TRUE(posted);
}

TEST(WaitServing, ReturnsFalseWhenTheConditionNeverHolds) {
  TApplication app;
  EXPECT_FALSE(app.WaitServing([] { return false; }, 10));
  EXPECT_TRUE(app.WaitServing([] { return true; }, 0));
}

TEST(ProcessApplication, ItsMainThreadIsTheStartupThreadWhoeverAsksFirst) {
  TThreadID seenFromWorker = 0;
  std::thread([&] { seenFromWorker = Application().MainThreadId(); }).join();
  EXPECT_EQ(CurrentThreadId(), seenFromWorker);  // tests run in the program's main thread
  EXPECT_TRUE(Application().IsMainThread());
}

TEST(RunUntil, ServesUntilTheConditionHoldsTheTimeIsUpOrAStopIsRequested) {
  TApplication app;
  int served = 0;
  app.PostCall(app.MainThreadId(), [&] { ++served; });
  app.PostCall(app.MainThreadId(), [&] { ++served; });
  EXPECT_TRUE(app.RunUntil([&] { return served == 2; }, 5000));

  std::atomic<bool> set{false};
  LambdaThread worker(app, [&](LambdaThread&) { set = true; });  // sets it without a wake-up
  worker.Start();
  EXPECT_TRUE(app.RunUntil([&] { return set.load(); }, 5000));

  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(app.RunUntil([] { return false; }, 50));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
  EXPECT_FALSE(TApplication::StopRequested());
#ifndef _WIN32
  app.PostCall(app.MainThreadId(), [] { std::raise(SIGINT); });
  EXPECT_FALSE(app.RunUntil([] { return false; }));  // would never end without the request
  EXPECT_TRUE(TApplication::StopRequested());
#endif
}
