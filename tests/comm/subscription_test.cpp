// The notify list as threads use it: subscribing and unsubscribing from several at once.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "comm/comm_fixtures.h"

namespace {

using namespace sk;
using sktest::NotifyRecorder;

TEST(PortSubscription, TheSameSubscriberAddedByManyThreadsAtOnceIsThereOnce) {
  TComponent owner;
  auto& com = TComponent::Create<TskComm>(owner);
  constexpr int kThreads = 4;
  constexpr int kRounds = 1000;
  for (int round = 0; round < kRounds; ++round) {
    NotifyRecorder heard;
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([&] {
        ready.fetch_add(1);
        while (ready.load() < kThreads) std::this_thread::yield();
        com.NotifyAdd(heard.Event());
      });
    for (auto& t : threads) t.join();
    com.Update();
    ASSERT_EQ(heard.Codes(), std::vector<int>{3}) << "round " << round;
    com.NotifyDelete(heard.Event());
    heard.Clear();
    com.Update();
    ASSERT_TRUE(heard.Codes().empty()) << "round " << round;
  }
}

TEST(PortSubscription, SubscribersLeavingFromManyThreadsAtOnceLeaveTheOthers) {
  TComponent owner;
  auto& com = TComponent::Create<TskComm>(owner);
  constexpr int kThreads = 4;
  std::vector<NotifyRecorder> leaving(kThreads);
  NotifyRecorder staying;
  for (int round = 0; round < 200; ++round) {
    com.NotifyAdd(staying.Event());
    for (auto& l : leaving) com.NotifyAdd(l.Event());
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([&, t] {
        ready.fetch_add(1);
        while (ready.load() < kThreads) std::this_thread::yield();
        com.NotifyDelete(leaving[static_cast<std::size_t>(t)].Event());
      });
    for (auto& t : threads) t.join();
    staying.Clear();
    com.Update();
    ASSERT_EQ(staying.Codes(), std::vector<int>{3}) << "round " << round;
    for (auto& l : leaving) ASSERT_TRUE(l.Codes().empty()) << "round " << round;
    com.NotifyDelete(staying.Event());
  }
}

}  // namespace
