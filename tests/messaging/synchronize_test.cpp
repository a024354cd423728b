#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "messaging/lambda_thread.h"
#include "serialkit/core/component.h"
#include "serialkit/platform/application.h"
#include "support/eventually.h"

using namespace sk::platform;
using sk::test::LambdaThread;

TEST(Synchronize, RunsInTheMainThreadWhileItWaitsForTheWorker) {
  TApplication app;
  TThreadID ranIn = 0;
  int calls = 0;
  LambdaThread worker(app, [&](LambdaThread& self) {
    for (int i = 0; i < 50; ++i)
      self.Synchronize([&] {
        ranIn = CurrentThreadId();
        ++calls;
      });
  });
  worker.Start();
  worker.WaitFor();  // would never return if the main thread did not serve the calls
  EXPECT_EQ(app.MainThreadId(), ranIn);
  EXPECT_EQ(50, calls);
}

TEST(Synchronize, IsServedByProcessMessagesAndWaitsForTheCall) {
  TApplication app;
  std::atomic<int> value{0};
  std::atomic<bool> sawResult{false};
  LambdaThread worker(app, [&](LambdaThread& self) {
    self.Synchronize([&] { value = 42; });
    sawResult = (value == 42);  // the call has finished when Synchronize returns
  });
  worker.Start();
  testsupport::ServeUntil(
      app, [&] { return value != 0; }, std::chrono::seconds(10));
  worker.WaitFor();
  EXPECT_EQ(42, value);
  EXPECT_TRUE(sawResult);
}

TEST(Synchronize, AnExceptionOfTheCallReachesTheWorker) {
  TApplication app;
  std::string caught;
  LambdaThread worker(app, [&](LambdaThread& self) {
    try {
      self.Synchronize([] { throw sk::Exception("refused in main"); });
    } catch (const sk::Exception& e) {
      caught = e.what();
    }
  });
  worker.Start();
  worker.WaitFor();
  EXPECT_EQ("refused in main", caught);
}

TEST(Synchronize, InTheMainThreadRunsAtOnce) {
  TApplication app;
  bool ran = false;
  app.Synchronize([&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST(Synchronize, PendingCallsFailWhenTheApplicationEnds) {
  auto app = std::make_unique<TApplication>();
  std::promise<void> queued;
  std::once_flag once;
  app->SetPostedHook([&](TThreadID) { std::call_once(once, [&] { queued.set_value(); }); });
  std::atomic<bool> failed{false};
  std::atomic<bool> ran{false};
  std::thread worker([&, a = app.get()] {
    try {
      a->Synchronize([&] { ran = true; });
    } catch (const sk::Exception&) {
      failed = true;
    }
  });
  queued.get_future().wait();
  app.reset();
  worker.join();
  EXPECT_TRUE(failed);
  EXPECT_FALSE(ran);
}
