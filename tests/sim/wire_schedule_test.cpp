#include <gtest/gtest.h>

#include "wire_schedule.h"

using namespace zr48sim;
using namespace std::chrono_literals;

TEST(WireSchedule, AByteTakesElevenBitTimes) {
  EXPECT_EQ(Nanos{0}, ByteTime(0));
  EXPECT_EQ(Nanos{1145834}, ByteTime(9600));  // 11 / 9600 s, rounded up
  EXPECT_EQ(Nanos{11936}, ByteTime(921600));
}

TEST(WireSchedule, AnUnpacedAnswerGoesInOneWrite) {
  const auto pieces = PlanWrite(40, WritePlan{});
  ASSERT_EQ(1u, pieces.size());
  EXPECT_EQ(40u, pieces[0].length);
  EXPECT_EQ(Nanos{0}, pieces[0].at);
}

TEST(WireSchedule, SplittingGivesPiecesOfTheSizeWithGapsBetween) {
  WritePlan plan;
  plan.splitSize = 3;
  plan.splitGap = 2ms;
  const auto pieces = PlanWrite(8, plan);
  ASSERT_EQ(3u, pieces.size());
  EXPECT_EQ(3u, pieces[0].length);
  EXPECT_EQ(6u, pieces[2].offset);
  EXPECT_EQ(2u, pieces[2].length);
  EXPECT_EQ(Nanos{0}, pieces[0].at);
  EXPECT_EQ(Nanos{4ms}, pieces[2].at);
}

TEST(WireSchedule, APacedPieceLeavesWhenItsLastByteWouldHaveArrived) {
  WritePlan plan;
  plan.baud = 9600;  // ~1.15 ms a byte: every byte is a piece of its own
  const auto pieces = PlanWrite(5, plan);
  ASSERT_EQ(5u, pieces.size());
  for (std::size_t i = 0; i < pieces.size(); ++i)
    EXPECT_EQ(ByteTime(9600) * static_cast<int>(i + 1), pieces[i].at);
  EXPECT_EQ(ByteTime(9600) * 5, LineTime(5, plan));
}

TEST(WireSchedule, FastLinesGroupBytesButKeepTheLineTime) {
  WritePlan plan;
  plan.baud = 921600;
  const auto pieces = PlanWrite(1028, plan);
  EXPECT_LT(pieces.size(), 100u);  // grouped, not a write per byte
  std::size_t total = 0;
  for (const auto& p : pieces) total += p.length;
  EXPECT_EQ(1028u, total);
  EXPECT_EQ(ByteTime(921600) * 1028, pieces.back().at);
}
