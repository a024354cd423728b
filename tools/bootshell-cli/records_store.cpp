#include "records_store.h"

#include <unistd.h>

#include <chrono>
#include <climits>
#include <ctime>
#include <nlohmann/json.hpp>

namespace bootshell::cli {

namespace {

// The README shows this schema; a change to it is a new user_version.
constexpr const char* kSchema = R"(CREATE TABLE IF NOT EXISTS device_runs (
  id             INTEGER PRIMARY KEY,
  started_utc    TEXT NOT NULL,
  ended_utc      TEXT NOT NULL,
  host           TEXT NOT NULL,
  port           TEXT NOT NULL,
  usb_vendor_id  TEXT,
  usb_product_id TEXT,
  serial_number  TEXT,
  by_id_link     TEXT,
  image_name     TEXT NOT NULL,
  image_size     INTEGER NOT NULL,
  image_sha256   TEXT NOT NULL,
  cycles_written INTEGER,
  result         TEXT NOT NULL,
  exit_status    INTEGER NOT NULL,
  error_text     TEXT
))";

constexpr const char* kColumns[] = {
    "started_utc",    "ended_utc",      "host",       "port",        "usb_vendor_id",
    "usb_product_id", "serial_number",  "by_id_link", "image_name",  "image_size",
    "image_sha256",   "cycles_written", "result",     "exit_status", "error_text"};

struct StatementCloser {
  void operator()(sqlite3_stmt* S) const { sqlite3_finalize(S); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementCloser>;

// Empty texts are stored as NULL: the column has no value for that run.
void BindText(sqlite3_stmt* S, int I, const std::string& Text) {
  if (Text.empty())
    sqlite3_bind_null(S, I);
  else
    sqlite3_bind_text(S, I, Text.data(), static_cast<int>(Text.size()), SQLITE_TRANSIENT);
}

std::string Text(sqlite3_stmt* S, int I) {
  const auto* p = sqlite3_column_text(S, I);
  return p == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(p));
}

}  // namespace

RecordStore::RecordStore(const std::string& Path) : path_(Path) {
  sqlite3* db = nullptr;
  const int rc =
      sqlite3_open_v2(Path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  db_.reset(db);
  if (rc != SQLITE_OK) Fail("cannot open");
  if (sqlite3_db_readonly(db, "main") == 1)
    throw RecordStoreError("record store " + path_ + ": cannot write: the file is read-only");
  // Stations of several processes may share one store.
  sqlite3_busy_timeout(db, 5000);
  {
    Statement s;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA journal_mode=WAL", -1, &raw, nullptr) != SQLITE_OK)
      Fail("cannot set the journal mode");
    s.reset(raw);
    if (sqlite3_step(raw) != SQLITE_ROW) Fail("cannot set the journal mode");
    if (Text(raw, 0) != "wal")
      throw RecordStoreError("record store " + path_ + ": cannot use a write-ahead log (got " +
                             Text(raw, 0) + " journal)");
  }
  // Each commit is on the disk before Add returns, not only in the operating system's cache.
  Exec("PRAGMA synchronous=FULL", "cannot set synchronous commits");
  Exec(kSchema, "cannot create the table");
  // Proves the store writable now instead of at the first device's end.
  Exec("BEGIN IMMEDIATE", "cannot write");
  Exec("ROLLBACK", "cannot write");
}

RecordStore::~RecordStore() = default;

void RecordStore::Exec(const char* Sql, const char* What) {
  if (sqlite3_exec(db_.get(), Sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(What);
}

void RecordStore::Fail(const std::string& What) {
  const std::string reason = db_ ? sqlite3_errmsg(db_.get()) : "out of memory";
  throw RecordStoreError("record store " + path_ + ": " + What + ": " + reason);
}

void RecordStore::Add(const DeviceRun& R) {
  std::lock_guard lock(mutex_);
  std::string sql = "INSERT INTO device_runs (";
  for (const char* c : kColumns) sql += std::string(c) + (c == kColumns[14] ? ")" : ", ");
  sql += " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15)";
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
    Fail("cannot write");
  Statement s(raw);
  // NOT NULL texts that happen to be empty are kept as empty texts.
  sqlite3_bind_text(raw, 1, R.started.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(raw, 2, R.ended.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(raw, 3, R.host.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(raw, 4, R.port.c_str(), -1, SQLITE_TRANSIENT);
  BindText(raw, 5, R.usbVendorId);
  BindText(raw, 6, R.usbProductId);
  BindText(raw, 7, R.serialNumber);
  BindText(raw, 8, R.byIdLink);
  sqlite3_bind_text(raw, 9, R.imageName.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int64(raw, 10, R.imageSize);
  sqlite3_bind_text(raw, 11, R.imageSha256.c_str(), -1, SQLITE_TRANSIENT);
  if (R.cyclesWritten)
    sqlite3_bind_int64(raw, 12, *R.cyclesWritten);
  else
    sqlite3_bind_null(raw, 12);
  sqlite3_bind_text(raw, 13, R.result.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int(raw, 14, R.exitStatus);
  BindText(raw, 15, R.errorText);
  // Outside a transaction the insert is its own, committed (and synced) when the step ends.
  if (sqlite3_step(raw) != SQLITE_DONE) Fail("cannot write");
}

std::vector<DeviceRun> RecordStore::All() {
  std::lock_guard lock(mutex_);
  std::string sql = "SELECT ";
  for (const char* c : kColumns) sql += std::string(c) + (c == kColumns[14] ? "" : ", ");
  sql += " FROM device_runs ORDER BY id";
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
    Fail("cannot read");
  Statement s(raw);
  std::vector<DeviceRun> runs;
  int rc;
  while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
    DeviceRun r;
    r.started = Text(raw, 0);
    r.ended = Text(raw, 1);
    r.host = Text(raw, 2);
    r.port = Text(raw, 3);
    r.usbVendorId = Text(raw, 4);
    r.usbProductId = Text(raw, 5);
    r.serialNumber = Text(raw, 6);
    r.byIdLink = Text(raw, 7);
    r.imageName = Text(raw, 8);
    r.imageSize = sqlite3_column_int64(raw, 9);
    r.imageSha256 = Text(raw, 10);
    if (sqlite3_column_type(raw, 11) != SQLITE_NULL)
      r.cyclesWritten = sqlite3_column_int64(raw, 11);
    r.result = Text(raw, 12);
    r.exitStatus = sqlite3_column_int(raw, 13);
    r.errorText = Text(raw, 14);
    runs.push_back(std::move(r));
  }
  if (rc != SQLITE_DONE) Fail("cannot read");
  return runs;
}

std::string UtcNow() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t t = system_clock::to_time_t(now);
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm tm{};
  ::gmtime_r(&t, &tm);
  char text[32];
  const auto n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
  char frac[8];
  std::snprintf(frac, sizeof frac, ".%03dZ", static_cast<int>(ms));
  return std::string(text, n) + frac;
}

std::string HostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

namespace {

nlohmann::ordered_json AsJson(const DeviceRun& R) {
  const auto orNull = [](const std::string& T) -> nlohmann::ordered_json {
    if (T.empty()) return nullptr;
    return T;
  };
  return {
      {kColumns[0], R.started},
      {kColumns[1], R.ended},
      {kColumns[2], R.host},
      {kColumns[3], R.port},
      {kColumns[4], orNull(R.usbVendorId)},
      {kColumns[5], orNull(R.usbProductId)},
      {kColumns[6], orNull(R.serialNumber)},
      {kColumns[7], orNull(R.byIdLink)},
      {kColumns[8], R.imageName},
      {kColumns[9], R.imageSize},
      {kColumns[10], R.imageSha256},
      {kColumns[11], R.cyclesWritten ? nlohmann::ordered_json(*R.cyclesWritten) : nullptr},
      {kColumns[12], R.result},
      {kColumns[13], R.exitStatus},
      {kColumns[14], orNull(R.errorText)},
  };
}

}  // namespace

std::string FormatRunLines(const std::vector<DeviceRun>& Runs) {
  std::string text;
  for (const DeviceRun& r : Runs) {
    const auto j = AsJson(r);
    std::string line;
    for (const auto& [key, value] : j.items()) {
      if (!line.empty()) line += '\t';
      if (value.is_string())
        line += value.get<std::string>();
      else if (!value.is_null())
        line += value.dump();
    }
    text += line + "\n";
  }
  return text;
}

std::string FormatRunJson(const std::vector<DeviceRun>& Runs) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const DeviceRun& r : Runs) list.push_back(AsJson(r));
  return list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace bootshell::cli
