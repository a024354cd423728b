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

TEST(LineClock, BytesArrivingWhileTheLineIsBusyQueueBehindIt) {
  const Nanos bt = ByteTime(921600);
  LineClock line;
  line.Reset(Nanos{1000});
  // The first chunk meets an idle line and starts when it arrived, not when it was noticed.
  EXPECT_EQ(Nanos{5000}, line.Occupy(Nanos{5000}, bt * 8));
  EXPECT_EQ(Nanos{5000} + bt * 8, line.BusyUntil());
  // One arriving half-way through waits for the end of the last byte before it.
  EXPECT_EQ(Nanos{5000} + bt * 8, line.Occupy(Nanos{5000} + bt * 4, bt * 3));
  EXPECT_EQ(Nanos{5000} + bt * 11, line.BusyUntil());
  // After a pause the line is idle again: no credit is carried over the gap.
  const Nanos later = Nanos{5000} + bt * 100;
  EXPECT_EQ(later, line.Occupy(later, bt));
  EXPECT_EQ(later + bt, line.BusyUntil());
}

TEST(LineClock, AFrameSplitIntoChunksEndsNoSoonerThanItsBytesAtLineRate) {
  // A frame written as eight single header bytes and one chunk of the rest, all at once:
  // however it is cut, its last byte ends its length in byte times after its first arrived.
  const Nanos bt = ByteTime(921600);
  LineClock line;
  const Nanos first{1'000'000};
  Nanos start{0};
  for (int i = 0; i < 8; ++i) start = line.Occupy(first + Nanos{i * 100}, bt);
  start = line.Occupy(first + Nanos{900}, bt * 1020);
  EXPECT_EQ(first + bt * 1028, ByteEnd(start, 1019, bt));
}

TEST(LineClock, AnAnswerStartsAfterTheFrameAndAfterTheAnswerBeforeIt) {
  const Nanos bt = ByteTime(921600);
  LineClock rx, tx;
  WritePlan plan;
  plan.baud = 921600;
  const Nanos frameStart = rx.Occupy(Nanos{2'000'000}, bt * 8);
  const Nanos frameEnd = ByteEnd(frameStart, 7, bt);
  // The answer may not start before the frame's last byte has arrived...
  const Nanos answer = tx.Occupy(frameEnd, LineTime(30, plan));
  EXPECT_EQ(frameEnd, answer);
  // ...and noise written right after it waits until the answer has left the line.
  EXPECT_EQ(answer + bt * 30, tx.Occupy(frameEnd, LineTime(5, plan)));
  // Its pieces go out when the line has carried them, the last one when the answer ends.
  EXPECT_EQ(answer + bt * 30, answer + PlanWrite(30, plan).back().at);
}

TEST(LineClock, AnUnpacedLineOnlyKeepsTheOrderOfSplitPieces) {
  WritePlan plan;
  plan.splitSize = 2;
  plan.splitGap = std::chrono::milliseconds(1);
  LineClock tx;
  const Nanos first = tx.Occupy(Nanos{0}, LineTime(6, plan));  // pieces at 0, 1 and 2 ms
  EXPECT_EQ(Nanos{0}, first);
  EXPECT_EQ(Nanos{2ms}, tx.Occupy(Nanos{0}, LineTime(2, plan)));
}

TEST(WireSchedule, AShortAnswerOnAFastLineIsOneWriteAtItsEnd) {
  WritePlan plan;
  plan.baud = 921600;
  const auto pieces = PlanWrite(48, plan);  // about 570 us of line
  ASSERT_EQ(1u, pieces.size());
  EXPECT_EQ(48u, pieces[0].length);
  EXPECT_EQ(ByteTime(921600) * 48, pieces[0].at);
}
