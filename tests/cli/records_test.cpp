// The record store: rows that survive the writer's death, and the program's --record and
// --records over a simulated device.
#if defined(BOOTSHELL_RECORDS) && !defined(_WIN32)
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "discovery/fake_device_tree.h"
#include "records_store.h"
#include "support/child_process.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"

namespace bootshell::cli {
namespace {

DeviceRun NumberedRun(int I) {
  DeviceRun r;
  r.started = "2026-01-01T00:00:00.000Z";
  r.ended = "2026-01-01T00:00:01." + std::to_string(100 + I % 900) + "Z";
  r.host = "station";
  r.port = "COM" + std::to_string(20 + I % 8);
  r.usbVendorId = "0403";
  r.usbProductId = "6001";
  r.serialNumber = "A" + std::to_string(I);
  r.imageName = "image.brox";
  r.imageSize = 10240;
  r.imageSha256 = std::string(64, 'a');
  r.cyclesWritten = I;
  r.result = I % 2 ? "written" : "connection-lost";
  r.exitStatus = I % 2 ? 0 : 7;
  if (I % 2 == 0) r.errorText = "the connection was lost after " + std::to_string(I) + " cycles";
  return r;
}

void ExpectSameRun(const DeviceRun& A, const DeviceRun& B) {
  EXPECT_EQ(A.ended, B.ended);
  EXPECT_EQ(A.port, B.port);
  EXPECT_EQ(A.serialNumber, B.serialNumber);
  EXPECT_EQ(A.byIdLink, B.byIdLink);
  EXPECT_EQ(A.cyclesWritten, B.cyclesWritten);
  EXPECT_EQ(A.result, B.result);
  EXPECT_EQ(A.exitStatus, B.exitStatus);
  EXPECT_EQ(A.errorText, B.errorText);
}

TEST(RecordStore, EveryCommittedRowSurvivesTheWriterKilledMidRun) {
  testsupport::ScratchDir dir;
  const std::string path = dir / "records.db";
  int acks[2];
  ASSERT_EQ(0, ::pipe(acks));
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Writes rows until killed, telling the parent of each one Add has returned.
    ::close(acks[0]);
    try {
      RecordStore store(path);
      for (int i = 0;; ++i) {
        store.Add(NumberedRun(i));
        if (::write(acks[1], &i, sizeof i) != sizeof i) ::_exit(2);
      }
    } catch (...) {
      ::_exit(1);
    }
  }
  ::close(acks[1]);
  int last = -1;
  while (last < 40 && ::read(acks[0], &last, sizeof last) == sizeof last) {
  }
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(acks[0]);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself: " << status;

  RecordStore store(path);
  const auto runs = store.All();
  ASSERT_GT(static_cast<int>(runs.size()), last) << "a committed row is missing";
  for (std::size_t i = 0; i < runs.size(); ++i) ExpectSameRun(NumberedRun(int(i)), runs[i]);
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr));
  sqlite3_stmt* check = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr));
  ASSERT_EQ(SQLITE_ROW, sqlite3_step(check));
  EXPECT_STREQ("ok", reinterpret_cast<const char*>(sqlite3_column_text(check, 0)));
  sqlite3_finalize(check);
  sqlite3_close(db);
}

TEST(RecordProgram, RecordsARunAndRefusesAStoreItCannotWriteBeforeThePortOpens) {
  discoverytest::FakeDeviceTree tree;
  testsupport::ScratchDir dir;
  const std::string frames = dir / "frames.log", image = dir / "image.brox";
  std::string bytes(5000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 7);
  dir.WriteFile("image.brox", bytes);
  testsupport::SimProcess sim({"--port", "61", "--frame-log", frames});
  const std::string store = dir / "records.db";
  const auto run = [&](const std::vector<std::string>& Args) {
    return testsupport::RunProgram(BOOTSHELL_CLI_PATH, Args, dir / "out", dir / "err");
  };
  ASSERT_EQ(0, run({image, "--port", "COM61", "-q", "--record", store}))
      << testsupport::ReadAll(dir / "err");

  // A file that is no database and a folder that does not exist: refused, port untouched.
  const std::string notDb = dir.WriteFile("notes.db", "not a database, just notes\n");
  for (const std::string& bad : {notDb, dir.File("missing/records.db")}) {
    EXPECT_EQ(1, run({image, "--port", "COM61", "--record", bad})) << bad;
    EXPECT_NE(std::string::npos, testsupport::ReadAll(dir / "err").find("record store " + bad))
        << testsupport::ReadAll(dir / "err");
  }
  sim.Terminate();
  const auto log = testsupport::ReadAll(frames);
  std::size_t connects = 0;
  for (auto at = log.find("host connected"); at != std::string::npos;
       at = log.find("host connected", at + 1))
    ++connects;
  EXPECT_EQ(1u, connects) << log;

  ASSERT_EQ(0, run({"--records", store, "--json"}));
  const auto rows = nlohmann::json::parse(testsupport::ReadAll(dir / "out"));
  ASSERT_EQ(1u, rows.size());
  EXPECT_EQ("COM61", rows[0]["port"]);
  EXPECT_EQ(5000, rows[0]["image_size"]);
  EXPECT_EQ(2, rows[0]["cycles_written"]);
  EXPECT_EQ("written", rows[0]["result"]);
  EXPECT_EQ(0, rows[0]["exit_status"]);
  EXPECT_TRUE(rows[0]["error_text"].is_null());
  const std::string sum = dir / "sum";
  ASSERT_EQ(0, std::system(("sha256sum " + image + " > " + sum).c_str()));
  EXPECT_EQ(testsupport::ReadAll(sum).substr(0, 64), rows[0]["image_sha256"]);

  // A USB adapter's port that does not open: a row all the same, with the device's identity.
  const std::string ftdi = tree.Usb("1-3", "0403", "6001", "A50285BI", "FTDI", "FT232R UART", 1);
  tree.UsbSerialPort(tree.Interface(ftdi, 0, "ftdi_sio"), "ttyUSB0", "ftdi_sio");
  EXPECT_EQ(4, run({image, "--port", "COM33", "--connect-timeout", "0.2", "--record", store}));
  ASSERT_EQ(0, run({"--records", store, "--json"}));
  const auto both = nlohmann::json::parse(testsupport::ReadAll(dir / "out"));
  ASSERT_EQ(2u, both.size());
  EXPECT_EQ(rows[0], both[0]);
  EXPECT_EQ("0403", both[1]["usb_vendor_id"]);
  EXPECT_EQ("6001", both[1]["usb_product_id"]);
  EXPECT_EQ("A50285BI", both[1]["serial_number"]);
  EXPECT_EQ("port-not-opened", both[1]["result"]);
  EXPECT_EQ(4, both[1]["exit_status"]);
  EXPECT_TRUE(both[1]["cycles_written"].is_null());
  EXPECT_TRUE(both[1]["error_text"].is_string());
}

}  // namespace
}  // namespace bootshell::cli
#endif
