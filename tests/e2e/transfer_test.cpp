// Whole transfers: images written through the command-line loader into the simulated device.
#include <cstdio>
#include <ostream>
#include <string>

#include "e2e_fixture.h"
#include "loader/boot_protocol.h"
#include "loader/frames.h"

namespace e2e {
namespace {

namespace proto = bootshell::protocol;

std::string Hex(std::uint32_t Value, int Digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", Digits, Value);
  return text;
}

struct ImageCase {
  std::size_t size;
  int cycles;
  friend void PrintTo(const ImageCase& c, std::ostream* os) {
    *os << c.size << " bytes, " << c.cycles << " cycles";
  }
};

class ImageTransfer : public EndToEnd, public ::testing::WithParamInterface<ImageCase> {};

TEST_P(ImageTransfer, FlashHoldsTheChunkRuleBytesAndTheDeviceSawEachCycleInOrder) {
  const ImageCase c = GetParam();
  const Bytes plain = MakeImage(c.size);
  auto sim = StartSim({"--exit-after-image"});
  ASSERT_EQ(RunCli(Path("image.brox"), sim->PortName()), 0) << CliOut() << CliErr();
  // The simulator leaves once the loader has closed the port after the image.
  ASSERT_EQ(sim->Wait(kProgramDeadlineMs), 0);

  EXPECT_EQ(Flash(), ExpectedFlash(plain));

  const auto log = FrameLog();
  std::size_t i = 0;
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[i++].rfind("tx 1000 ", 0), 0u) << "greeting first";
  int handshakes = 0;
  for (; i + 1 < log.size() && log[i] == "rx handshake ok"; i += 2, ++handshakes)
    EXPECT_EQ(log[i + 1].rfind("tx 0 ", 0), 0u);
  EXPECT_GE(handshakes, 1);
  for (int cycle = 0; cycle < c.cycles; ++cycle) {
    const std::size_t offset = static_cast<std::size_t>(cycle) * 2048;
    const std::uint32_t address = proto::FlashBaseAddress + static_cast<std::uint32_t>(offset);
    const auto sum = proto::Sum8(std::span(plain).subspan(offset, 1024));
    ASSERT_LE(i + 4, log.size()) << "cycle " << cycle;
    EXPECT_EQ(log[i++], "rx address " + Hex(address, 8) + " ok");
    EXPECT_EQ(log[i++].rfind("tx 3 ", 0), 0u);
    EXPECT_EQ(log[i++], "rx data " + Hex(address, 8) + " sum " + Hex(sum, 2) + " ok");
    EXPECT_EQ(log[i++].rfind("tx 2 ", 0), 0u);
  }
  EXPECT_EQ(i, log.size()) << "no frame after the last cycle: " << (i < log.size() ? log[i] : "");

  const std::string out = CliOut();
  EXPECT_NE(out.find("<ZR48 in boot mode, ready>"), std::string::npos) << out;
  EXPECT_NE(out.find("File image.brox written"), std::string::npos) << out;
  EXPECT_NE(out.find("Image written: " + std::to_string(c.cycles) + " blocks"), std::string::npos)
      << out;
  EXPECT_EQ(CliErr(), "");
}

INSTANTIATE_TEST_SUITE_P(Sizes, ImageTransfer,
                         ::testing::Values(ImageCase{2048, 1}, ImageCase{4096, 1},
                                           ImageCase{10240, 4}, ImageCase{100000, 48}),
                         [](const auto& info) { return std::to_string(info.param.size); });

TEST_F(EndToEnd, PortGivenByItsDevicePathWorksLikeItsComName) {
  const Bytes plain = MakeImage(10240);
  auto sim = StartSim({"--exit-after-image"});
  ASSERT_EQ(RunCli(Path("image.brox"), sim->TtyPath(), {"--quiet"}), 0) << CliErr();
  ASSERT_EQ(sim->Wait(kProgramDeadlineMs), 0);
  EXPECT_EQ(Flash(), ExpectedFlash(plain));
  EXPECT_EQ(CliOut(), "") << "quiet prints nothing on success";
}

TEST_F(EndToEnd, LogFileTracesThePortAndThePacketDetection) {
  MakeImage(2048);
  auto sim = StartSim();
  ASSERT_EQ(RunCli(Path("image.brox"), "7", {"--log", Path("trace.log")}), 0) << CliErr();
  const std::string trace = testsupport::ReadAll(Path("trace.log"));
  for (const char* expected : {"skComm: The port COM7 is opened",
                               "skComm: Input data length: ", "skDataProc: Medium Opened",
                               "skDataProc: DataPacket is detected: ", "skDataProc: Medium Closed"})
    EXPECT_NE(trace.find(expected), std::string::npos) << expected;
}

}  // namespace
}  // namespace e2e
