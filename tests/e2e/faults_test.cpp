// Faults on the line and bad input, each ending the command-line loader with its own status
// and a clear message, never a crash or a hang.
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>

#include "e2e_fixture.h"
#include "exit_status.h"
#include "serialkit/platform/port_map.h"
#include "serialkit/testing/pseudo_terminal.h"
#include "support/eventually.h"

namespace e2e {
namespace {

using bootshell::cli::Code;
using bootshell::cli::ExitStatus;

bool Contains(const std::string& Text, const std::string& Part) {
  return Text.find(Part) != std::string::npos;
}

TEST_F(EndToEnd, NoiseBetweenAnswersStillCompletesTheTransfer) {
  const Bytes plain = MakeImage(10240);
  auto sim = StartSim({"--noise", "--seed", "4711", "--exit-after-image"});
  ASSERT_EQ(RunCli(Path("image.brox"), "COM7"), 0) << CliOut() << CliErr();
  ASSERT_EQ(sim->Wait(kProgramDeadlineMs), 0);
  EXPECT_EQ(Flash(), ExpectedFlash(plain));
}

TEST_F(EndToEnd, AnswersSplitAtEveryByteStillCompleteTheTransfer) {
  const Bytes plain = MakeImage(10240);
  auto sim = StartSim({"--split", "--split-size", "1", "--exit-after-image"});
  ASSERT_EQ(RunCli(Path("image.brox"), "COM7"), 0) << CliOut() << CliErr();
  ASSERT_EQ(sim->Wait(kProgramDeadlineMs), 0);
  EXPECT_EQ(Flash(), ExpectedFlash(plain));
  EXPECT_TRUE(Contains(CliOut(), "<Written 1024 bytes at 0x08003800>")) << CliOut();
}

// Answer 2 acknowledges the first address frame, answer 3 the first data frame (the handshake
// answer is number 1).
class DroppedAnswer : public EndToEnd, public ::testing::WithParamInterface<const char*> {};

TEST_P(DroppedAnswer, EndsInTheTimeoutStatusNamingTheStateItWaitedIn) {
  MakeImage(10240);
  auto sim = StartSim({"--drop-answer", GetParam()});
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(RunCli(Path("image.brox"), "COM7", {"--answer-timeout", "1"}),
            Code(ExitStatus::MissingAnswer))
      << CliOut() << CliErr();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
  EndSim(sim);
  const auto log = FrameLog();
  const bool addressDropped = std::find(log.begin(), log.end(), "tx 3 dropped") != log.end();
  const bool dataDropped = std::find(log.begin(), log.end(), "tx 2 dropped") != log.end();
  ASSERT_TRUE(addressDropped != dataDropped) << "one acknowledgement dropped";
  const std::string err = CliErr();
  if (addressDropped) {
    EXPECT_TRUE(Contains(err, "state 142 (lsWaitAddressAnswer)")) << err;
    EXPECT_TRUE(Contains(err, "tag 3 to the address frame for 0x08002000")) << err;
  } else {
    EXPECT_TRUE(Contains(err, "state 144 (lsWaitBlockAnswer)")) << err;
    EXPECT_TRUE(Contains(err, "tag 2 to the data frame for 0x08002000")) << err;
  }
  EXPECT_TRUE(Contains(err, "within 1 s")) << err;
}

INSTANTIATE_TEST_SUITE_P(AddressAndData, DroppedAnswer, ::testing::Values("2", "3"));

// The simulator closes its end on the given frame: 1 is the handshake, 4 the second address.
class Hangup : public EndToEnd, public ::testing::WithParamInterface<const char*> {};

TEST_P(Hangup, ClosesThePortAsLostWithAClearMessage) {
  MakeImage(10240);
  auto sim = StartSim({"--hangup-after", GetParam()});
  ASSERT_EQ(RunCli(Path("image.brox"), "COM7"), Code(ExitStatus::ConnectionLost))
      << CliOut() << CliErr();
  EXPECT_TRUE(Contains(CliErr(), "the connection on COM7 was lost")) << CliErr();
  EXPECT_TRUE(Contains(testsupport::ReadAll(Path("frames.log")), "lost: hangup after"));
}

INSTANTIATE_TEST_SUITE_P(DuringHandshakeAndTransfer, Hangup, ::testing::Values("1", "4"));

TEST_F(EndToEnd, PortMapEntryPointingToNothingEndsInThePortStatus) {
  MakeImage(2048);
  ASSERT_TRUE(sk::platform::PortMap().AddOverride(5, Path("no-such-tty")));
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(RunCli(Path("image.brox"), "COM5", {"--connect-timeout", "1"}),
            Code(ExitStatus::PortNotOpened))
      << CliErr();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
  const std::string err = CliErr();
  EXPECT_TRUE(Contains(err, "COM5 did not open within 1 s")) << err;
  EXPECT_TRUE(Contains(err, "Device \"COM5\" Open Error !!! No such file or directory")) << err;
}

TEST_F(EndToEnd, UnknownPortNumberEndsInThePortStatus) {
  MakeImage(2048);
  ASSERT_EQ(RunCli(Path("image.brox"), "COM4711", {"--connect-timeout", "0.5"}),
            Code(ExitStatus::PortNotOpened))
      << CliErr();
}

TEST_F(EndToEnd, BadImagesEndInTheImageStatusBeforeThePortIsOpened) {
  // The port would open and answer: the image is refused before it is touched.
  auto sim = StartSim();
  WriteFile(Path("short.brox"), Bytes(2047, 0x11));
  for (const std::string& image :
       {Path("missing.brox"), Path("short.brox"), dir_.Path().string()}) {
    EXPECT_EQ(RunCli(image, "COM7"), Code(ExitStatus::BadImage)) << image;
    EXPECT_TRUE(Contains(CliErr(), "\"" + image + "\"")) << CliErr();
  }
  EndSim(sim);
  EXPECT_TRUE(FrameLog().empty()) << "nothing was sent";
}

TEST_F(EndToEnd, SilentDeviceEndsInTheHandshakeStatusAfterRepeatedHandshakes) {
  MakeImage(2048);
  sk::platform::PseudoTerminal silent;
  ASSERT_EQ(RunCli(Path("image.brox"), silent.SlavePath(), {"--connect-timeout", "1"}),
            Code(ExitStatus::NoHandshake))
      << CliErr();
  EXPECT_TRUE(Contains(CliErr(), "did not answer the handshake within 1 s")) << CliErr();
  const auto heard = silent.Read(1 << 16, 200);
  const Bytes handshake{0xA1, 0x04, 0x00, 0xEE, 0x55, 0x44, 0x22, 0x33};
  ASSERT_GE(heard.size(), 2 * handshake.size());
  EXPECT_EQ(heard.size() % handshake.size(), 0u);
  EXPECT_TRUE(std::equal(handshake.begin(), handshake.end(), heard.end() - 8));
}

TEST_F(EndToEnd, InterruptWhileWaitingClosesThePortAndEndsWithItsStatus) {
  MakeImage(10240);
  auto sim = StartSim({"--drop-answer", "3"});
  auto cli = StartCli(Path("image.brox"), "COM7", {"--answer-timeout", "600"});
  testsupport::Eventually(
      [&] { return Contains(cli->Stdout(), "<Address 0x08002000 accepted>") || cli->Wait(0); },
      std::chrono::seconds(60), [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
  cli->Signal(SIGINT);
  EXPECT_EQ(cli->Wait(kProgramDeadlineMs), Code(ExitStatus::Interrupted)) << cli->Stderr();
  EXPECT_TRUE(Contains(cli->Stderr(), "interrupted in state 144")) << cli->Stderr();
  EndSim(sim);
  EXPECT_TRUE(Contains(testsupport::ReadAll(Path("frames.log")), "host disconnected"));
}

}  // namespace
}  // namespace e2e
