#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "messaging/lambda_thread.h"
#include "serialkit/platform/application.h"
#include "serialkit/platform/thread.h"
#include "serialkit/platform/wake_event.h"

using namespace sk::platform;

using sk::test::LambdaThread;

TEST(ThreadMessages, MessagesPostedFromAWorkerArriveInOrder) {
  TApplication app;
  const TThreadID main = app.MainThreadId();
  LambdaThread worker(app, [&](LambdaThread&) {
    for (std::uintptr_t i = 0; i < 100; ++i) ASSERT_TRUE(app.PostToThread(main, 0xC100, i, -1));
  });
  worker.Start();
  for (std::uintptr_t i = 0; i < 100; ++i) {
    TMsg msg;
    ASSERT_TRUE(app.ReceiveMessage(msg));
    EXPECT_EQ(0xC100u, msg.message);
    EXPECT_EQ(i, msg.wParam);
    EXPECT_EQ(-1, msg.lParam);
  }
}

TEST(ThreadMessages, ReceiveTakesOnlyTheAskedRangeAndLeavesTheRest) {
  TApplication app;
  const TThreadID self = app.EnsureMessageQueue();
  app.PostToThread(self, 0x0400, 1);
  app.PostToThread(self, 0xC005, 2);
  TMsg msg;
  ASSERT_TRUE(app.ReceiveMessage(msg, 0xC000, 0xFFFF));
  EXPECT_EQ(2u, msg.wParam);
  EXPECT_FALSE(app.PollMessage(msg, 0xC000, 0xFFFF));
  ASSERT_TRUE(app.PollMessage(msg, 0, 0, false));  // peek leaves it queued
  EXPECT_EQ(1u, msg.wParam);
  ASSERT_TRUE(app.PollMessage(msg));
  EXPECT_EQ(0x0400u, msg.message);
  EXPECT_FALSE(app.PollMessage(msg));
}

TEST(ThreadMessages, PostingFailsToAThreadWithoutAQueueOrAfterItEnded) {
  TApplication app;
  TThreadID ended = 0;
  std::thread([&] { ended = app.EnsureMessageQueue(); }).join();
  EXPECT_FALSE(app.PostToThread(ended, 0xC000));
  TThreadID noQueue = 0;
  std::thread([&] { noQueue = CurrentThreadId(); }).join();
  EXPECT_FALSE(app.PostToThread(noQueue, 0xC000));
  EXPECT_FALSE(app.PostCall(noQueue, [] {}));
}

TEST(ThreadMessages, QuitEndsAWorkerWaitingForMessages) {
  TApplication app;
  std::atomic<int> received{0};
  std::atomic<bool> ended{false};
  LambdaThread worker(app, [&](LambdaThread&) {
    TMsg msg;
    while (app.ReceiveMessage(msg, kFirstRegisteredMessage, kLastRegisteredMessage)) ++received;
    ended = true;
  });
  worker.Start();  // its queue exists once Start returns
  ASSERT_TRUE(app.PostToThread(worker.ThreadID(), 0xC001));
  ASSERT_TRUE(app.PostToThread(worker.ThreadID(), 0xC002));
  ASSERT_TRUE(app.PostQuit(worker.ThreadID()));
  worker.WaitFor();
  EXPECT_TRUE(ended);
  EXPECT_EQ(2, received);  // messages queued before the quit are still delivered
}

TEST(WorkerThreads, AnExceptionEndingExecuteIsKept) {
  TApplication app;
  LambdaThread worker(app, [](LambdaThread&) { throw std::runtime_error("worker failed"); });
  worker.Start();
  worker.WaitFor();
  ASSERT_TRUE(worker.Finished());
  ASSERT_TRUE(worker.FatalException());
  EXPECT_THROW(std::rethrow_exception(worker.FatalException()), std::runtime_error);
}

TEST(WorkerThreads, TerminateIsSeenByExecute) {
  TApplication app;
  LambdaThread worker(app, [&](LambdaThread& self) {
    TMsg msg;
    while (!self.Terminated()) app.ReceiveMessage(msg);
  });
  worker.Start();
  worker.Terminate();
  app.PostToThread(worker.ThreadID(), 0xC010);  // the wake-up a worker's Terminate would post
  worker.WaitFor();
  EXPECT_TRUE(worker.Finished());
  EXPECT_FALSE(worker.FatalException());
}

TEST(ThreadMessages, ReceiveOrADescriptorPrefersMessagesThenReportsTheDescriptorAndQuits) {
  TApplication app;
  const TThreadID self = app.EnsureMessageQueue();
  WakeEvent device;  // stands in for a device's descriptor
  device.Signal();
  app.PostToThread(self, 0xC010, 7);
  TMsg msg;
  EXPECT_EQ(app.ReceiveMessageOr(msg, 0xC000, 0xFFFF, device.Native()),
            TApplication::TReceived::message);
  EXPECT_EQ(7u, msg.wParam);
  EXPECT_EQ(app.ReceiveMessageOr(msg, 0xC000, 0xFFFF, device.Native()),
            TApplication::TReceived::readable);
  device.Reset();
  app.PostQuit(self);
  EXPECT_EQ(app.ReceiveMessageOr(msg, 0xC000, 0xFFFF, device.Native()),
            TApplication::TReceived::quit);
}

TEST(ThreadMessages, AMessagePostedFromAnotherThreadEndsAWaitOnAQuietDescriptor) {
  TApplication app;
  const TThreadID self = app.EnsureMessageQueue();
  WakeEvent quiet;
  LambdaThread poster(app, [&](LambdaThread&) { ASSERT_TRUE(app.PostToThread(self, 0xC011, 3)); });
  poster.Start();
  TMsg msg;
  EXPECT_EQ(app.ReceiveMessageOr(msg, 0xC000, 0xFFFF, quiet.Native()),
            TApplication::TReceived::message);
  EXPECT_EQ(3u, msg.wParam);
}
