#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "sim/host_line.h"
#include "sim/sim_frames.h"
#include "support/eventually.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"

namespace fs = std::filesystem;
using namespace sk::test;
using testsupport::SimProcess;
using testsupport::Zr48SimPath;

namespace {

// Each test gets its own port map directory and scratch files.
class SimProgram : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("SK_PORTMAP_DIR", ports_.c_str(), 1); }
  void TearDown() override { ::unsetenv("SK_PORTMAP_DIR"); }
  std::string Path(const std::string& name) const { return dir_.File(name); }
  static std::string ReadFile(const std::string& path) { return testsupport::ReadAll(path); }
  static std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

  testsupport::ScratchDir dir_;
  fs::path ports_ = dir_.Path() / "ports";
};

}  // namespace

TEST_F(SimProgram, NamesItsPseudoTerminalAndKeepsThePortMapEntryWhileItRuns) {
  SimProcess sim({"--port", "41"});
  EXPECT_EQ("COM41", sim.PortName());
  EXPECT_EQ(0u, sim.TtyPath().find("/dev/pts/"));
  ASSERT_TRUE(fs::is_symlink(ports_ / "com41"));
  EXPECT_EQ(sim.TtyPath(), fs::read_symlink(ports_ / "com41").string());
  EXPECT_EQ(0, sim.Terminate());
  EXPECT_FALSE(fs::exists(fs::symlink_status(ports_ / "com41")));
}

TEST_F(SimProgram, GreetsAHostAndAnswersItsHandshake) {
  SimProcess sim({});
  HostLine host(sim.TtyPath());
  host.Write(HandshakeFrame());
  const auto got = host.ReadUntil("answerE0");
  const auto info = got.find("answerBInfo");
  const auto answer = got.find("answerB0ZR48 in boot mode, readyanswerE0");
  ASSERT_NE(std::string::npos, info);
  ASSERT_NE(std::string::npos, answer);
  EXPECT_LT(info, answer);
}

TEST_F(SimProgram, WritesTheFlashImageAndItsFrameLogWhenTheHostLeavesAfterAnImage) {
  const auto flash = Path("flash.bin"), log = Path("frames.log");
  SimProcess sim({"--flash-out", flash, "--exit-after-image", "--frame-log", log});
  {
    HostLine host(sim.TtyPath());
    host.Write(HandshakeFrame());
    host.ReadUntil("answerE0");
    host.Write(AddressFrame(0x08002000));
    host.ReadUntil("answerE3");
    host.Write(DataFrame(Block(0x10)));
    host.ReadUntil("answerE2");
    host.Forget();
    host.Write(AddressFrame(0x08002800));
    host.ReadUntil("answerE3");
    host.Write(DataFrame(Block(0x20)));
    host.ReadUntil("answerE2");
  }
  ASSERT_EQ(0, sim.Wait(10000));
  std::string expected(2048 + 1024, '\xFF');
  const auto first = Block(0x10), second = Block(0x20);
  std::copy(first.begin(), first.end(), expected.begin());
  std::copy(second.begin(), second.end(), expected.begin() + 2048);
  EXPECT_EQ(expected, ReadFile(flash));
  const auto frames = ReadFile(log);
  EXPECT_NE(std::string::npos, frames.find("host connected\ntx 1000 "));
  EXPECT_NE(std::string::npos, frames.find("rx data 0x08002800 sum "));
  EXPECT_NE(std::string::npos, frames.find("host disconnected\nend image-done\n"));
  EXPECT_EQ(2u, Count(frames, "tx 2 Written 1024 bytes"));
}

TEST_F(SimProgram, HangsUpOnTheNamedFrameLeavingItUnanswered) {
  SimProcess sim({"--hangup-after", "2", "--port", "42"});
  HostLine host(sim.TtyPath());
  host.Write(HandshakeFrame());
  host.ReadUntil("answerE0");
  host.Write(AddressFrame(0x08002000));
  EXPECT_TRUE(host.WaitLost());
  EXPECT_EQ(std::string::npos, host.ReadUntil("answerE3", 0).find("answerE3"));
  EXPECT_EQ(0, sim.Wait(10000));
  EXPECT_FALSE(fs::exists(fs::symlink_status(ports_ / "com42")));
}

TEST_F(SimProgram, ARackServesEachDeviceOnItsOwnPortWithTheFaultsOnlyOnTheNamedOne) {
  const auto flash = Path("flash.bin");
  SimProcess sim({"--count", "3", "--port", "50", "--fault-device", "2", "--hangup-after", "2",
                  "--flash-out", flash},
                 3);
  for (std::size_t i = 0; i < 3; ++i) {
    const auto name = "com" + std::to_string(50 + i);
    EXPECT_EQ("COM" + std::to_string(50 + i), sim.PortName(i));
    ASSERT_TRUE(fs::is_symlink(ports_ / name));
    EXPECT_EQ(sim.TtyPath(i), fs::read_symlink(ports_ / name).string());
  }
  HostLine faulty(sim.TtyPath(1));
  faulty.Write(HandshakeFrame());
  faulty.ReadUntil("answerE0");
  faulty.Write(AddressFrame(0x08002000));
  EXPECT_TRUE(faulty.WaitLost());
  for (std::size_t i : {0u, 2u}) {
    HostLine host(sim.TtyPath(i));
    host.Write(HandshakeFrame());
    host.ReadUntil("answerE0");
    host.Write(AddressFrame(0x08002000));
    host.ReadUntil("answerE3");
    host.Write(DataFrame(Block(static_cast<std::uint8_t>(0x10 + i))));
    EXPECT_NE(std::string::npos, host.ReadUntil("answerE2").find("answerE2")) << i;
  }
  // The device that hung up leaves the port map; the others stay until the end.
  testsupport::Eventually([&] { return !fs::exists(fs::symlink_status(ports_ / "com51")); });
  EXPECT_FALSE(fs::exists(fs::symlink_status(ports_ / "com51")));
  EXPECT_TRUE(fs::is_symlink(ports_ / "com50"));
  EXPECT_EQ(0, sim.Terminate());
  EXPECT_FALSE(fs::exists(fs::symlink_status(ports_ / "com52")));
  for (std::size_t i : {0u, 2u}) {
    const auto block = Block(static_cast<std::uint8_t>(0x10 + i));
    EXPECT_EQ(std::string(block.begin(), block.end()),
              ReadFile(flash + "." + std::to_string(i + 1)));
  }
}

TEST_F(SimProgram, ADroppedAnswerLeavesOnlyTheResentFrameAnsweredAndAMuteOneAnswersNothing) {
  SimProcess sim({"--drop-answer", "1"});
  HostLine host(sim.TtyPath());
  host.Write(HandshakeFrame());
  host.Write(HandshakeFrame());
  const auto got = host.ReadUntil("answerE0");
  EXPECT_EQ(1u, Count(got, "answerB0"));

  SimProcess mute({"--mute"});
  HostLine unanswered(mute.TtyPath());
  unanswered.Write(HandshakeFrame());
  unanswered.Write(HandshakeFrame());
  EXPECT_EQ("", unanswered.ReadUntil("answerE0", 300));
}

TEST_F(SimProgram, SplitAnswersWithNoiseBetweenThemArriveIntact) {
  SimProcess sim({"--split", "--split-size", "2", "--noise", "--seed", "7"});
  HostLine host(sim.TtyPath());
  host.Write(HandshakeFrame());
  host.ReadUntil("answerE0");
  host.Write(AddressFrame(0x08002000));
  const auto got = host.ReadUntil("answerE3");
  EXPECT_NE(std::string::npos, got.find("answerB0ZR48 in boot mode, readyanswerE0"));
  EXPECT_NE(std::string::npos, got.find("answerB3Address 0x08002000 acceptedanswerE3"));
}

TEST_F(SimProgram, PacedAnswersTakeAtLeastTheirTimeOnTheLine) {
  SimProcess sim({"--baud", "9600"});
  HostLine host(sim.TtyPath());
  host.ReadUntil("answerEInfo");
  const auto start = std::chrono::steady_clock::now();
  host.Write(HandshakeFrame());
  host.ReadUntil("answerE0");
  const auto took = std::chrono::steady_clock::now() - start;
  const std::string answer = "answerB0ZR48 in boot mode, readyanswerE0";
  // The frame in and the answer out, 11 bits a byte at 9600 baud.
  const auto wire = std::chrono::microseconds((8 + answer.size()) * 11 * 1'000'000 / 9600);
  EXPECT_GE(took, wire);
}

TEST_F(SimProgram, RefusesBadArgumentsWithoutStarting) {
  const std::string sim = Zr48SimPath();
  EXPECT_NE(0, std::system((sim + " --port 0 >/dev/null 2>&1").c_str()));
  EXPECT_NE(0, std::system((sim + " --baud fast >/dev/null 2>&1").c_str()));
  EXPECT_NE(0, std::system((sim + " --count 2 >/dev/null 2>&1").c_str()));
  EXPECT_NE(0, std::system((sim + " --count 2 --port 9 --fault-device 3 >/dev/null 2>&1").c_str()));
  EXPECT_NE(0, std::system((sim + " --count 2 --port 65535 >/dev/null 2>&1").c_str()));
  EXPECT_FALSE(fs::exists(ports_));
}
