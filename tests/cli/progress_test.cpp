// Progress as the loader reports it: percent, rate, time left and their renderings.
#include <gtest/gtest.h>

#include "progress_meter.h"

namespace bootshell::cli {
namespace {

using Clock = ProgressMeter::Clock;
using std::chrono::milliseconds;

TEST(Progress, RateAndTimeLeftFollowThePositionOverTime) {
  ProgressMeter m;
  const auto t0 = Clock::now();
  m.Start(8192, t0);
  EXPECT_EQ(m.Percent(), 0);
  EXPECT_EQ(m.Rate(), 0);
  EXPECT_FALSE(m.SecondsLeft());
  m.Update(2048, t0 + milliseconds(500));
  EXPECT_EQ(m.Percent(), 25);
  EXPECT_DOUBLE_EQ(m.Rate(), 4096);
  EXPECT_DOUBLE_EQ(*m.SecondsLeft(), 1.5);
  m.Update(8192, t0 + milliseconds(2000));
  EXPECT_EQ(m.Percent(), 100);
  EXPECT_DOUBLE_EQ(*m.SecondsLeft(), 0);
}

TEST(Progress, PositionIsHeldWithinTheRange) {
  ProgressMeter m;
  const auto t0 = Clock::now();
  m.Start(4096, t0);
  m.Update(10000, t0 + milliseconds(10));
  EXPECT_EQ(m.Position(), 4096);
  m.Update(-5, t0 + milliseconds(20));
  EXPECT_EQ(m.Position(), 0);
}

TEST(Progress, ImageOfOneChunkHasAnEmptyRangeThatCompletesOnlyWhenWritten) {
  ProgressMeter m;
  const auto t0 = Clock::now();
  m.Start(0, t0);
  m.Update(0, t0);
  EXPECT_EQ(m.Percent(), 0);
  EXPECT_EQ(m.BarLine(10).substr(0, 12), "[----------]");
  m.Complete(t0 + milliseconds(5));
  EXPECT_EQ(m.Percent(), 100);
  EXPECT_EQ(m.BarLine(10).substr(0, 12), "[##########]");
}

TEST(Progress, BarShowsFillPercentBytesRateAndTimeLeft) {
  ProgressMeter m;
  const auto t0 = Clock::now();
  m.Start(8192, t0);
  m.Update(4096, t0 + milliseconds(1000));
  EXPECT_EQ(m.BarLine(10), "[#####-----]  50%  4096/8192 bytes  4.0 KiB/s  0:01 left");
  EXPECT_EQ(m.PlainLine(), "progress 50% (4096 of 8192 bytes, 4.0 KiB/s)");
}

TEST(Progress, PlainLinesComeOncePerTenthReached) {
  ProgressMeter m;
  const auto t0 = Clock::now();
  m.Start(1000, t0);
  EXPECT_EQ(m.NextTenth(), 0);
  EXPECT_FALSE(m.NextTenth());
  m.Update(50, t0);
  EXPECT_FALSE(m.NextTenth());
  m.Update(350, t0);  // jumps over 10% and 20%: one line for where it is now
  EXPECT_EQ(m.NextTenth(), 3);
  m.Update(1000, t0);
  EXPECT_EQ(m.NextTenth(), 10);
  EXPECT_FALSE(m.NextTenth());
  m.Start(1000, t0);  // a new transfer starts counting again
  EXPECT_EQ(m.NextTenth(), 0);
}

TEST(Progress, RatesAndDurationsReadNaturally) {
  EXPECT_EQ(FormatRate(950), "950 B/s");
  EXPECT_EQ(FormatRate(12.0 * 1024), "12.0 KiB/s");
  EXPECT_EQ(FormatRate(1.5 * 1024 * 1024), "1.50 MiB/s");
  EXPECT_EQ(FormatDuration(7.4), "0:07");
  EXPECT_EQ(FormatDuration(750), "12:30");
  EXPECT_EQ(FormatDuration(3723), "1:02:03");
  EXPECT_EQ(FormatDuration(-3), "0:00");
}

}  // namespace
}  // namespace bootshell::cli
