#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "serialkit/platform/messages.h"

using namespace sk::platform;

TEST(RegisteredMessages, SameNameGivesSameNumberInTheRegisteredRange) {
  const auto a = RegisterMessage("testMsgAlpha");
  const auto b = RegisterMessage("testMsgBeta");
  EXPECT_GE(a, kFirstRegisteredMessage);
  EXPECT_LE(a, kLastRegisteredMessage);
  EXPECT_GE(b, kFirstRegisteredMessage);
  EXPECT_NE(a, b);
  EXPECT_EQ(a, RegisterMessage("testMsgAlpha"));
  EXPECT_EQ(a, RegisterMessage("TESTMSGALPHA"));  // names compare like the atom table
  EXPECT_EQ(0u, RegisterMessage(""));
}

TEST(RegisteredMessages, ThreadsRegisteringOneNameAtOnceAgreeOnItsNumber) {
  std::vector<std::uint32_t> got(8);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < got.size(); ++i)
    threads.emplace_back([&got, i] { got[i] = RegisterMessage("testMsgRace"); });
  for (auto& t : threads) t.join();
  EXPECT_EQ(1u, std::set<std::uint32_t>(got.begin(), got.end()).size());
  EXPECT_NE(0u, got[0]);
}

TEST(ThreadIds, EachThreadHasItsOwnStableId) {
  const TThreadID mine = CurrentThreadId();
  TThreadID other = 0;
  std::thread([&] { other = CurrentThreadId(); }).join();
  EXPECT_NE(0u, mine);
  EXPECT_NE(0u, other);
  EXPECT_NE(mine, other);
  EXPECT_EQ(mine, CurrentThreadId());
}
