// Many devices at once and the factory station, against a rack of simulated devices.
#if defined(BOOTSHELL_RECORDS) && !defined(_WIN32)
#include <signal.h>

#include <map>
#include <thread>

#include "e2e_fixture.h"
#include "records_store.h"
#include "support/eventually.h"

namespace e2e {
namespace {

class Fleet : public EndToEnd {
 protected:
  Bytes FlashOf(const std::string& File) const {
    const std::string text = testsupport::ReadAll(Path(File));
    return Bytes(text.begin(), text.end());
  }
  std::vector<bootshell::cli::DeviceRun> Rows() {
    return bootshell::cli::RecordStore(Path("records.db")).All();
  }
};

TEST_F(Fleet, EightDevicesAtOnceTwoFaultyEachEndsWithItsOwnStatus) {
  const Bytes plain = MakeImage(20480);
  // COM80..86, the seventh hanging up on its fourth frame (an address frame mid-transfer);
  // COM87 takes frames and never answers.
  testsupport::SimProcess rack(
      {"--count", "7", "--port", "80", "--flash-out", Path("flash"), "--frame-log",
       Path("rack.log"), "--fault-device", "7", "--hangup-after", "4"},
      7);
  testsupport::SimProcess mute({"--port", "87", "--mute", "--frame-log", Path("mute.log")});
  std::vector<std::string> args{"--connect-timeout", "3", "--record", Path("records.db")};
  for (int p = 81; p <= 87; ++p) args.insert(args.end(), {"--port", "COM" + std::to_string(p)});
  // Worst of the table: connection lost (7) beats no handshake (5).
  EXPECT_EQ(7, RunCli(Path("image.brox"), "COM80", args)) << CliOut() << CliErr();
  rack.Terminate();
  mute.Terminate();

  const std::string out = CliOut();
  for (int k = 1; k <= 6; ++k) {
    EXPECT_EQ(ExpectedFlash(plain), FlashOf("flash." + std::to_string(k))) << "device " << k;
    EXPECT_NE(std::string::npos, out.find("COM" + std::to_string(79 + k) + " ")) << out;
  }
  EXPECT_NE(std::string::npos, out.find("connection-lost")) << out;
  EXPECT_NE(std::string::npos, out.find("no-handshake")) << out;

  const auto rows = Rows();
  ASSERT_EQ(8u, rows.size());
  std::map<std::string, std::string> results;
  for (const auto& r : rows) results[r.port] = r.result;
  for (int p = 80; p <= 85; ++p) EXPECT_EQ("written", results["COM" + std::to_string(p)]) << p;
  EXPECT_EQ("connection-lost", results["COM86"]);
  EXPECT_EQ("no-handshake", results["COM87"]);
}

TEST_F(Fleet, StationWritesEachArrivalAgainAfterARePlugAndSumsUpAtSigint) {
  const Bytes plain = MakeImage(10240);
  cli_ = std::make_unique<testsupport::ChildProcess>(
      BOOTSHELL_CLI_PATH,
      std::vector<std::string>{Path("image.brox"), "--station", "--connect-timeout", "3",
                               "--record", Path("records.db")},
      Path("cli.out"), Path("cli.err"));
  testsupport::Eventually([&] { return CliOut().find("waiting for devices") != std::string::npos; },
                          std::chrono::seconds(10),
                          [] { std::this_thread::sleep_for(std::chrono::milliseconds(50)); });
  ASSERT_NE(std::string::npos, CliOut().find("waiting for devices")) << CliErr();

  // The device on COM90 is written, then leaves (its entry goes) and comes back: written again.
  for (int plug = 1; plug <= 2; ++plug) {
    const std::string flash = Path("flash" + std::to_string(plug));
    testsupport::SimProcess sim({"--port", "90", "--exit-after-image", "--flash-out", flash,
                                 "--frame-log", Path("sim.log")});
    ASSERT_EQ(0, sim.Wait(kProgramDeadlineMs)) << CliOut() << CliErr();
    EXPECT_EQ(ExpectedFlash(plain), FlashOf("flash" + std::to_string(plug))) << plug;
  }
  // Entered and removed before anything could open it: a run that fails, the station goes on.
  { testsupport::SimProcess gone({"--port", "91", "--mute", "--frame-log", Path("gone.log")}); }
  testsupport::Eventually([&] { return Rows().size() >= 3; }, std::chrono::seconds(10),
                          [] { std::this_thread::sleep_for(std::chrono::milliseconds(50)); });
  cli_->Signal(SIGINT);
  const int status = cli_->Wait(kProgramDeadlineMs).value_or(-1);
  const auto rows = Rows();
  ASSERT_EQ(3u, rows.size()) << CliOut();
  EXPECT_EQ("written", rows[0].result);
  EXPECT_EQ("written", rows[1].result);
  EXPECT_EQ("COM90", rows[1].port);
  EXPECT_EQ("COM91", rows[2].port);
  EXPECT_NE("written", rows[2].result);
  EXPECT_EQ(rows[2].exitStatus, status) << CliOut();
  const std::string out = CliOut();
  const auto table = out.find("port       device");
  ASSERT_NE(std::string::npos, table) << out;
  EXPECT_NE(std::string::npos, out.find("COM91", table)) << out;
}

}  // namespace
}  // namespace e2e
#endif
