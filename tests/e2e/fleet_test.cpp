// Many devices at once and the factory station, against a rack of simulated devices.
#if defined(BOOTSHELL_RECORDS) && !defined(_WIN32)
#include <signal.h>

#include <map>
#include <thread>

#include "e2e_fixture.h"
#include "records_store.h"

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

}  // namespace
}  // namespace e2e
#endif
