// Connecting and greeting: open retries, link kinds, the handshake and its repetition,
// "Exit" and "Connect" at awkward moments, and that waiting turns block instead of spinning.
#include <gtest/gtest.h>

#include "loader/boot_protocol.h"
#include "loader/frames.h"
#include "loader/link_kind.h"
#include "loader_rig.h"

namespace {

using namespace bootshell::loader;
using namespace bootshell::protocol;

class LoaderConnect : public ::testing::Test {
 protected:
  void ExitAt(std::uint32_t ms) {
    r.window.At(r.ticks.now + ms, [&] { r.loader.Stop(); });
  }
  rig::LoaderRig r;
};

TEST_F(LoaderConnect, HandshakeGoesOutAsSoonAsThePortOpensAndItsAnswerShowsTheFilePage) {
  r.answerDelayMs = 37;
  const std::uint32_t start = r.ticks.now;
  ExitAt(1000);
  r.loader.Connect();
  ASSERT_FALSE(r.port.frames.empty());
  const rig::Frame& hello = r.port.frames[0];
  EXPECT_EQ(hello.command, cmdHandshake);
  EXPECT_EQ(hello.payload, (sk::ByteString{0x55, 0x44, 0x22, 0x33}));
  EXPECT_EQ(hello.sum, 0xEE);
  EXPECT_EQ(hello.at, start);
  EXPECT_FALSE(hello.purgedBefore);
  EXPECT_EQ(r.port.frames.size(), 1u);
  EXPECT_TRUE(r.window.image1Visible);
  EXPECT_TRUE(r.window.pageShown);
  EXPECT_EQ(r.loader.LoaderState(), lsIdle);
  EXPECT_EQ(r.window.PanelChanges(2), std::vector<std::string>{"37"});
  EXPECT_EQ(r.window.Panel(5), "R 20");
  EXPECT_EQ(r.window.Panel(6), "S 8");
  EXPECT_EQ(r.port.trace, (std::vector<std::string>{"open", "close"}));
}

TEST_F(LoaderConnect, UnansweredHandshakeIsResentAfterJustOverAHundredMilliseconds) {
  r.Answer(rig::Silent);
  ExitAt(350);
  r.loader.Connect();
  auto hellos = r.FramesOf(cmdHandshake);
  ASSERT_EQ(hellos.size(), 4u);
  for (std::size_t i = 1; i < hellos.size(); ++i) EXPECT_EQ(hellos[i].at - hellos[i - 1].at, 101u);
  EXPECT_EQ(r.window.PanelChanges(4),
            (std::vector<std::string>{"998", "999", "998", "999", "998", "999", "998", "999"}));
  EXPECT_EQ(r.loader.LastAnswerTag(), kNoAnswer);
  EXPECT_FALSE(r.window.pageShown);
}

TEST_F(LoaderConnect, LateAnswerToAnEarlierHandshakeStillCounts) {
  // The answer comes 150 ms after the first frame, after the second went out.
  r.answerDelayMs = 150;
  ExitAt(400);
  r.loader.Connect();
  EXPECT_EQ(r.FramesOf(cmdHandshake).size(), 2u);
  EXPECT_TRUE(r.window.pageShown);
  EXPECT_EQ(r.window.PanelChanges(2), std::vector<std::string>{"150"});
}

TEST_F(LoaderConnect, FailedOpensAreCountedAndRetriedEveryHundredMilliseconds) {
  r.port.failingOpens = 2;
  r.ticks.sleepStep = 30;
  ExitAt(1000);
  r.loader.Connect();
  EXPECT_EQ(r.window.PanelChanges(0), (std::vector<std::string>{"try connect 1", "try connect 2"}));
  ASSERT_EQ(r.port.openAttempts.size(), 3u);
  EXPECT_GE(r.port.openAttempts[1] - r.port.openAttempts[0], 100u);
  EXPECT_GE(r.port.openAttempts[2] - r.port.openAttempts[1], 100u);
  EXPECT_EQ(r.FramesOf(cmdHandshake).front().at, r.port.openAttempts[2]);
  EXPECT_TRUE(r.window.image1Visible);
  EXPECT_TRUE(r.window.pageShown);
}

TEST_F(LoaderConnect, ExitWhileThePortWillNotOpenSendsNothing) {
  r.port.failingOpens = 1'000'000;
  ExitAt(250);
  r.loader.Connect();
  EXPECT_TRUE(r.port.frames.empty());
  EXPECT_FALSE(r.window.image1Visible);
  EXPECT_EQ(r.window.Panel(0), "try connect 3");
  EXPECT_EQ(r.loader.LoaderState(), lsSendHandshake);
  EXPECT_FALSE(r.port.active);
}

TEST_F(LoaderConnect, LinkKindChoosesTheBaudRate) {
  const std::pair<int, std::vector<std::uint32_t>> cases[] = {
      {0, {230400}}, {1, {921600}}, {2, {230400}}, {3, {}}, {-1, {}}};
  for (const auto& [index, rates] : cases) {
    rig::LoaderRig fresh;
    fresh.window.radioIndex = index;
    fresh.window.After(10, [&] { fresh.loader.Stop(); });
    fresh.loader.Connect();
    EXPECT_EQ(fresh.port.baudRates, rates) << "index " << index;
    EXPECT_TRUE(fresh.window.image1Visible) << "index " << index;
  }
}

TEST_F(LoaderConnect, SendBeforeConnectWaitsForTheHandshake) {
  std::string path = r.WriteImage("image.brox", rig::RandomBytes(2048, 1));
  r.loader.Send(path);
  EXPECT_EQ(r.loader.LoaderState(), lsLoadImage);
  ExitAt(500);
  r.loader.Connect();
  ASSERT_FALSE(r.port.frames.empty());
  EXPECT_EQ(r.port.frames[0].command, cmdHandshake);
  EXPECT_TRUE(r.FramesOf(cmdAddress).empty());
  EXPECT_EQ(r.loader.LoaderState(), lsIdle);
}

TEST_F(LoaderConnect, ConnectDuringALoopRunsANestedLoopThatOneExitEnds) {
  std::string path = r.WriteImage("image.brox", rig::RandomBytes(10240, 2));
  // A transfer stalls waiting for its first block's answer; then Connect is pressed again
  // with the Bluetooth link chosen.
  r.Answer([&](const rig::Frame& f) -> std::optional<std::int32_t> {
    return f.command == cmdData ? std::nullopt : rig::Cooperative(f);
  });
  r.window.When([&] { return r.loader.LoaderState() == lsIdle; }, [&] { r.loader.Send(path); });
  r.window.When([&] { return r.loader.LoaderState() == lsWaitBlockAnswer; },
                [&] {
                  r.window.radioIndex = lkBluetooth;
                  r.window.After(50, [&] { r.loader.Connect(); });
                });
  r.window.When([&] { return r.FramesOf(cmdHandshake).size() == 2 && r.window.pageShown; },
                [&] { r.window.After(200, [&] { r.loader.Stop(); }); });
  r.loader.Connect();

  EXPECT_EQ(r.port.trace.end()[-3], "close");
  EXPECT_EQ(r.port.trace.end()[-2], "open");
  EXPECT_EQ(r.port.trace.back(), "close");
  EXPECT_EQ(r.port.baudRates, (std::vector<std::uint32_t>{230400, 921600}));
  // The inner loop greets again and goes idle: the transfer is abandoned.
  EXPECT_EQ(r.port.frames.back().command, cmdHandshake);
  EXPECT_EQ(r.FramesOf(cmdData).size(), 1u);
  EXPECT_EQ(r.loader.LoaderState(), lsIdle);
  EXPECT_FALSE(r.port.active);
  EXPECT_FALSE(r.window.ranAway);
}

TEST_F(LoaderConnect, ErrorInANestedLoopEndsBothLoopsWithOneReport) {
  std::string path = r.WriteImage("short.brox", rig::RandomBytes(100, 3));
  int loops = 0;
  r.window.When([&] { return r.window.pageShown; },
                [&] {
                  r.window.After(10, [&] {
                    ++loops;
                    r.loader.Connect();
                  });
                });
  r.window.When([&] { return loops == 1 && r.FramesOf(cmdHandshake).size() == 2; },
                [&] { r.window.After(10, [&] { r.loader.Send(path); }); });
  r.loader.Connect();
  ASSERT_EQ(r.window.errors.size(), 1u);
  EXPECT_NE(r.window.errors[0].find("short.brox"), std::string::npos);
  EXPECT_FALSE(r.port.active);
  EXPECT_FALSE(r.window.ranAway);
}

TEST_F(LoaderConnect, IdleTurnsBlockInsteadOfSpinning) {
  ExitAt(10'000);
  r.loader.Connect();
  // Ten seconds, one turn per 100 ms, every one waiting in the window's message processing.
  EXPECT_GE(r.window.waitTimeouts.size(), 95u);
  EXPECT_LE(r.window.waitTimeouts.size(), 105u);
  EXPECT_LT(r.window.plainTurns, 10);
  for (std::uint32_t t : r.window.waitTimeouts) {
    EXPECT_GT(t, 0u);
    EXPECT_LE(t, kWaitingTurnMs);
  }
  // Every turn still refreshes the totals.
  EXPECT_GE(r.window.panels[5].size(), r.window.waitTimeouts.size());
}

}  // namespace
