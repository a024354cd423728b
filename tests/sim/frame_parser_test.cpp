#include <gtest/gtest.h>

#include <vector>

#include "frame_parser.h"
#include "sim/sim_frames.h"

using namespace zr48sim;
using namespace sk::test;

namespace {

std::vector<Frame> PushAll(FrameParser& p, const std::vector<std::uint8_t>& bytes) {
  std::vector<Frame> frames;
  for (auto b : bytes)
    if (auto f = p.Push(b)) frames.push_back(*f);
  return frames;
}

}  // namespace

TEST(FrameParser, CutsConsecutiveFramesFedByteByByte) {
  FrameParser p;
  auto bytes = HandshakeFrame();
  const auto data = DataFrame(Block(7));
  bytes.insert(bytes.end(), data.begin(), data.end());
  const auto frames = PushAll(p, bytes);
  ASSERT_EQ(2u, frames.size());
  EXPECT_EQ(0xA1, frames[0].command);
  EXPECT_EQ(4u, frames[0].length);
  EXPECT_TRUE(frames[0].SumOk());
  EXPECT_EQ(0xA8, frames[1].command);
  EXPECT_EQ(Block(7), frames[1].payload);
  EXPECT_TRUE(frames[1].SumOk());
  EXPECT_EQ(0u, p.Pending());
}

TEST(FrameParser, SkipsBytesThatStartNoFrame) {
  FrameParser p;
  auto bytes = std::vector<std::uint8_t>{0x00, 0xFF, 0x55};
  const auto frame = AddressFrame(0x08002000);
  bytes.insert(bytes.end(), frame.begin(), frame.end());
  const auto frames = PushAll(p, bytes);
  ASSERT_EQ(1u, frames.size());
  EXPECT_EQ(0xA7, frames[0].command);
  EXPECT_EQ(3u, p.TakeSkipped());
  EXPECT_EQ(0u, p.TakeSkipped());
}

TEST(FrameParser, TrustsTheLengthFieldAndReportsABadSum) {
  FrameParser p;
  auto frame = HostFrame(0xA8, std::vector<std::uint8_t>(10, 1));
  frame[3] = 0x0B;  // the sum is 0x0A
  const auto frames = PushAll(p, frame);
  ASSERT_EQ(1u, frames.size());
  EXPECT_EQ(10u, frames[0].length);
  EXPECT_FALSE(frames[0].SumOk());
  EXPECT_EQ(0x0A, frames[0].PayloadSum());
}

TEST(FrameParser, ResetDropsAnUnfinishedFrameAsSkipped) {
  FrameParser p;
  const auto frame = HandshakeFrame();
  PushAll(p, {frame.begin(), frame.begin() + 5});
  EXPECT_EQ(5u, p.Pending());
  p.Reset();
  EXPECT_EQ(5u, p.TakeSkipped());
  EXPECT_EQ(1u, PushAll(p, frame).size());
}

TEST(FrameParser, AnEmptyPayloadEndsTheFrameAtItsHeader) {
  FrameParser p;
  const auto frames = PushAll(p, {0xA1, 0x00, 0x00, 0x00});
  ASSERT_EQ(1u, frames.size());
  EXPECT_TRUE(frames[0].payload.empty());
}
