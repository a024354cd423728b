#pragma once
// The record of every device run: one row per run in an SQLite database, committed when the
// run ends, so that a crash or a power cut loses only the runs still going.
#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace bootshell::cli {

struct DeviceRun {
  std::string started;  // UTC, ISO 8601 with milliseconds: 2026-12-10T12:34:56.789Z
  std::string ended;
  std::string host;
  std::string port;  // COMn, or the device path given
  // The device's USB identity, empty where the port has none.
  std::string usbVendorId;  // four hex digits
  std::string usbProductId;
  std::string serialNumber;
  std::string byIdLink;
  std::string imageName;
  std::int64_t imageSize = 0;
  std::string imageSha256;                    // lower-case hex
  std::optional<std::int64_t> cyclesWritten;  // nothing when the run cannot tell
  std::string result;                         // written, no-handshake, ...
  int exitStatus = 0;
  std::string errorText;  // empty for a written device
};

class RecordStoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class RecordStore {
 public:
  // Opens (creating it and its table if needed) the store at Path and proves it writable, so
  // that a store that would fail does so before any device is touched. Throws
  // RecordStoreError naming the file and the reason.
  explicit RecordStore(const std::string& Path);
  ~RecordStore();
  RecordStore(const RecordStore&) = delete;
  RecordStore& operator=(const RecordStore&) = delete;

  // Commits one row, durably, before returning; throws RecordStoreError. Any thread.
  void Add(const DeviceRun& Run);
  // Every row, in the order they were added.
  std::vector<DeviceRun> All();

 private:
  struct Closer {
    void operator()(sqlite3* Db) const { sqlite3_close(Db); }
  };
  void Exec(const char* Sql, const char* What);
  [[noreturn]] void Fail(const std::string& What);

  std::string path_;
  std::mutex mutex_;  // one statement at a time on the connection
  std::unique_ptr<sqlite3, Closer> db_;
};

// The current time as DeviceRun writes it.
std::string UtcNow();
// The host's name, or empty.
std::string HostName();
// One line per row, tab-separated in the table's column order.
std::string FormatRunLines(const std::vector<DeviceRun>& Runs);
// An array with one object per row, keyed by the column names.
std::string FormatRunJson(const std::vector<DeviceRun>& Runs);

}  // namespace bootshell::cli
