#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sim/sim_frames.h"
#include "simulated_boot_loader.h"

using namespace zr48sim;
using namespace sk::test;

namespace {

// A device with its log kept, fed whole byte strings.
struct Device {
  explicit Device(SimOptions options = {})
      : sim(options, [this](const std::string& l) { log.push_back(l); }) {}
  std::vector<SimEvent> Feed(const std::vector<std::uint8_t>& bytes) {
    return sim.Receive(bytes.data(), bytes.size());
  }
  // The tag of the one answer that Bytes produce.
  std::int32_t AnswerTo(const std::vector<std::uint8_t>& bytes) {
    auto events = Feed(bytes);
    EXPECT_EQ(1u, events.size());
    if (events.size() != 1 || !events[0].answer) return -1;
    return events[0].answer->tag;
  }
  std::vector<std::string> log;
  SimulatedBootLoader sim;
};

std::string Text(const std::vector<std::uint8_t>& b) {
  return std::string(b.begin(), b.end());
}

}  // namespace

TEST(SimulatedBootLoader, AnswersHandshakeAddressAndDataAsTheLoaderAwaits) {
  Device d;
  EXPECT_EQ(0, d.AnswerTo(HandshakeFrame()));
  EXPECT_EQ(3, d.AnswerTo(AddressFrame(0x08002000)));
  EXPECT_EQ(2, d.AnswerTo(DataFrame(Block(1))));
  EXPECT_EQ(3, d.AnswerTo(AddressFrame(0x08002800)));
  EXPECT_EQ(2, d.AnswerTo(DataFrame(Block(2))));
  const auto image = d.sim.Flash().Image();
  ASSERT_EQ(0x800u + 1024, image.size());
  const auto first = Block(1), second = Block(2);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), image.begin()));
  EXPECT_TRUE(std::all_of(image.begin() + 1024, image.begin() + 0x800,
                          [](std::uint8_t b) { return b == 0xFF; }));  // never written
  EXPECT_TRUE(std::equal(second.begin(), second.end(), image.begin() + 0x800));
  EXPECT_EQ(5u, d.sim.FramesReceived());
}

TEST(SimulatedBootLoader, AnswersAreReadableTextBetweenTheirMarkers) {
  Device d;
  const auto greeting = Text(d.sim.Greeting().Bytes());
  EXPECT_EQ(0u, greeting.find("answerBInfo"));
  EXPECT_NE(std::string::npos, greeting.find("ZR48"));
  EXPECT_EQ(greeting.size() - 11, greeting.rfind("answerEInfo"));
  auto events = d.Feed(AddressFrame(0x08003000));
  ASSERT_TRUE(events.at(0).answer);
  EXPECT_EQ("answerB3Address 0x08003000 acceptedanswerE3", Text(events[0].answer->Bytes()));
}

TEST(SimulatedBootLoader, AFrameWithABadSumGetsAnErrorAndNoAcknowledgement) {
  Device d;
  d.Feed(AddressFrame(0x08002000));
  auto frame = DataFrame(Block(3));
  frame[3] ^= 0x01;
  auto events = d.Feed(frame);
  ASSERT_EQ(1u, events.size());
  ASSERT_TRUE(events[0].answer);
  EXPECT_EQ(1, events[0].answer->tag);
  EXPECT_NE(std::string::npos, events[0].answer->text.find("bad sum"));
  EXPECT_TRUE(d.sim.Flash().Image().empty());     // nothing stored
  EXPECT_EQ(2, d.AnswerTo(DataFrame(Block(3))));  // the address still holds for the resend
}

TEST(SimulatedBootLoader, AFrameWithAWrongLengthGetsAnError) {
  Device d;
  EXPECT_EQ(1, d.AnswerTo(HostFrame(0xA7, {0x00, 0x20, 0x00})));
  EXPECT_EQ(1, d.AnswerTo(HostFrame(0xA8, std::vector<std::uint8_t>(1000, 0))));
  EXPECT_EQ(1, d.AnswerTo(HostFrame(0xA1, {0x55, 0x44, 0x22, 0x33, 0x00})));
  EXPECT_EQ("rx address bad-length 3", d.log.at(0));
}

TEST(SimulatedBootLoader, DataNeedsAnAcceptedAddressOfItsOwn) {
  Device d;
  EXPECT_EQ(1, d.AnswerTo(DataFrame(Block(0))));
  EXPECT_EQ(1, d.AnswerTo(AddressFrame(0x08000000)));  // the boot loader's own area
  EXPECT_EQ(1, d.AnswerTo(DataFrame(Block(0))));
  EXPECT_EQ(3, d.AnswerTo(AddressFrame(0x08002000)));
  EXPECT_EQ(2, d.AnswerTo(DataFrame(Block(0))));
  EXPECT_EQ(1, d.AnswerTo(DataFrame(Block(0))));            // the address was used up
  EXPECT_EQ(1, d.AnswerTo(HostFrame(0xA1, {1, 2, 3, 4})));  // not the handshake's bytes
}

TEST(SimulatedBootLoader, ADroppedAnswerIsLoggedButNotSent) {
  SimOptions o;
  o.dropAnswers = {2};
  Device d(o);
  EXPECT_EQ(0, d.AnswerTo(HandshakeFrame()));
  auto events = d.Feed(AddressFrame(0x08002000));
  ASSERT_EQ(1u, events.size());
  EXPECT_FALSE(events[0].answer);
  EXPECT_EQ("tx 3 dropped", d.log.back());
  EXPECT_EQ(3, d.AnswerTo(AddressFrame(0x08002000)));
}

TEST(SimulatedBootLoader, HangingUpLeavesTheFrameUnansweredAndIgnoresTheRest) {
  SimOptions o;
  o.hangupAfterFrames = 2;
  Device d(o);
  auto bytes = HandshakeFrame();
  const auto addr = AddressFrame(0x08002000);
  bytes.insert(bytes.end(), addr.begin(), addr.end());
  bytes.insert(bytes.end(), addr.begin(), addr.end());
  auto events = d.Feed(bytes);
  ASSERT_EQ(2u, events.size());
  EXPECT_TRUE(events[0].answer);
  EXPECT_TRUE(events[1].hangup);
  EXPECT_FALSE(events[1].answer);
  EXPECT_EQ(15u, events[1].afterByte);
  EXPECT_TRUE(d.sim.HungUp());
  EXPECT_TRUE(d.Feed(addr).empty());
}

TEST(SimulatedBootLoader, OnlyDataAnswersWaitForTheFlash) {
  SimOptions o;
  o.flashDelayMs = 25;
  Device d(o);
  auto events = d.Feed(AddressFrame(0x08002000));
  EXPECT_EQ(0u, events.at(0).delayMs);
  events = d.Feed(DataFrame(Block(0)));
  EXPECT_EQ(25u, events.at(0).delayMs);
}

TEST(SimulatedBootLoader, ASilentHostsUnfinishedFrameIsDroppedAndTheNextOneCounts) {
  Device d;
  const auto frame = AddressFrame(0x08002000);
  EXPECT_TRUE(d.Feed({frame.begin(), frame.begin() + 6}).empty());
  EXPECT_TRUE(d.sim.HasPartialFrame());
  d.sim.FrameTimedOut();
  EXPECT_FALSE(d.sim.HasPartialFrame());
  EXPECT_EQ("rx incomplete frame dropped after 6 bytes", d.log.back());
  EXPECT_EQ(3, d.AnswerTo(frame));
}

TEST(SimulatedBootLoader, TheFrameLogNamesEachFrameAndAnswer) {
  Device d;
  d.sim.Greeting();
  d.Feed({0x00, 0x01});
  d.Feed(HandshakeFrame());
  d.Feed(AddressFrame(0x08002000));
  d.Feed(DataFrame(std::vector<std::uint8_t>(1024, 0x01)));
  const std::vector<std::string> expected{
      "tx 1000 ZR48 boot loader (simulated), application flash at 0x08002000",
      "rx skipped 2 bytes",
      "rx handshake ok",
      "tx 0 ZR48 in boot mode, ready",
      "rx address 0x08002000 ok",
      "tx 3 Address 0x08002000 accepted",
      "rx data 0x08002000 sum 0x00 ok",
      "tx 2 Written 1024 bytes at 0x08002000",
  };
  EXPECT_EQ(expected, d.log);
}
