#include "serialkit/log/log_file.h"

#include <gtest/gtest.h>

#include "log_test_support.h"
#include "serialkit/platform/application.h"
#include "serialkit/platform/local_time.h"
#include "serialkit/platform/process_info.h"
#include "serialkit/platform/system_info.h"

namespace {

using logtest::Lines;
using logtest::ReadAll;
using sk::TskLogFile;

TEST(LogFile, StartsWithTheDocumentedDefaults) {
  TskLogFile sink;
  EXPECT_EQ(sink.SizeLimit(), 204800u);
  EXPECT_EQ(sink.FileName(), "skcommlib.log");
  EXPECT_EQ(sink.DetailLevel(), sk::dlSimple);
  EXPECT_EQ(sink.Options().ToByte(), 0x5B);
  EXPECT_TRUE(sink.AnsiOnly());
  EXPECT_EQ(sink.VisualOut(), nullptr);
  EXPECT_EQ(sink.Log(), "");
}

TEST(LogFile, FreshSinkWritesTheSystemLineFirstBesideTheExecutable) {
  const std::string exe = sk::platform::ExecutablePath();
  ASSERT_FALSE(exe.empty());
  std::string expectedName = exe;
  if (auto dot = exe.rfind('.'); dot != std::string::npos && dot > exe.find_last_of("/\\"))
    expectedName.resize(dot);
  expectedName += ".log";
  TskLogFile sink;
  ASSERT_EQ(sink.GetLogFileName(), expectedName);
  sink.Clear();

  sink.Add("hello");
  const std::string content = ReadAll(expectedName);
  sink.Clear();
  EXPECT_FALSE(logtest::Exists(expectedName));
  const auto lines = Lines(content);
  ASSERT_EQ(lines.size(), 2u) << content;
  ASSERT_TRUE(content.starts_with("\r\n"));
  std::string stamp, rest;
  ASSERT_TRUE(logtest::SplitStamp(lines[0], stamp, rest)) << lines[0];
  EXPECT_EQ(rest, "SerialKit Lib v1.0 " + sk::platform::SystemVersionString());
  ASSERT_TRUE(logtest::SplitStamp(lines[1], stamp, rest)) << lines[1];
  EXPECT_EQ(rest, "hello");
  // Date and time: the year shows (in two digits at least), and a blank parts them.
  const std::tm local = sk::platform::LocalTimeNow().Fields;
  const std::string year = std::to_string(100 + local.tm_year % 100).substr(1);
  EXPECT_NE(stamp.find(year), std::string::npos) << stamp;
  EXPECT_NE(stamp.find(' '), std::string::npos) << stamp;
}

TEST(LogFile, MillisecondsAloneStampThreeDigits) {
  TskLogFile sink;
  sink.SetOptions({sk::loMSec});
  sink.SetFileName("");
  sink.Add("entry");
  sink.Add("");
  const auto lines = Lines(sink.Log());
  ASSERT_EQ(lines.size(), 3u);
  std::string stamp, rest;
  ASSERT_TRUE(logtest::SplitStamp(lines[1], stamp, rest)) << lines[1];
  EXPECT_TRUE(logtest::IsMillisecondStamp(stamp)) << lines[1];
  EXPECT_EQ(rest, "entry");
  // An empty entry without a hook still gets its line: the stamp alone.
  ASSERT_TRUE(logtest::SplitStamp(lines[2], stamp, rest)) << lines[2];
  EXPECT_TRUE(logtest::IsMillisecondStamp(stamp)) << lines[2];
  EXPECT_EQ(rest, "");
}

TEST(LogFile, WritesOnlyEntriesUpToItsDetailLevel) {
  testsupport::ScratchDir dir;
  TskLogFile sink;
  sink.SetOptions({});
  sink.SetFileName(dir.File("levels.log"));
  sink.AddLog(sk::dlDebug, "debug");
  sink.AddLogFmt(sk::dlDetail, "detail %d", 1);
  EXPECT_EQ(sink.Log(), "");  // not even the system line
  sink.AddLog(sk::dlSimple, "simple");
  sink.SetDetailLevel(sk::dlDetail);
  sink.AddLogFmt(sk::dlDetail, "detail %d", 2);
  sink.AddLog(sk::dlDebug, "debug");
  const auto lines = Lines(sink.Log());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "simple");
  EXPECT_EQ(lines[2], "detail 2");
}

TEST(LogFile, ControlCharactersAppearAsHexCodesInTheFile) {
  testsupport::ScratchDir dir;
  TskLogFile sink;
  logtest::MakePlain(sink, dir.File("ctl.log"));
  sink.Add("a\tb\nc\r\x1F\x7F ~\xC3\xA9");
  sink.Save();
  EXPECT_EQ(ReadAll(dir.File("ctl.log")), "\r\na\\09hb\\0Ahc\\0Dh\\1Fh\x7F ~\xE9");
  EXPECT_EQ(sink.Log(), "");
}

TEST(LogFile, FormatMismatchLogsTheErrorText) {
  TskLogFile sink;
  logtest::MakePlain(sink, "");
  sink.AddFmt("%d bytes", "many");
  sink.AddLogFmt(sk::dlSimple, "%s and %s", std::string("one"));
  sink.AddFmt("%u bytes", 5u);
  EXPECT_EQ(sink.Log(), "\r\nLog format ERROR!!!\r\nLog format ERROR!!!\r\n5 bytes");
}

TEST(LogFile, EntryHookMayRewriteOrDropEntries) {
  TskLogFile sink;
  logtest::MakePlain(sink, "");
  int calls = 0;
  sink.SetOnLogEntry(sk::TOnLogEntry::Bind(nullptr, [&](sk::TObject* sender, std::string& s) {
    ++calls;
    EXPECT_EQ(sender, &sink);
    if (s == "drop") s.clear();
    if (s == "shout") s = "SHOUT";
    if (s == "throw") {
      s = "rewritten";
      throw std::runtime_error("hook failed");
    }
  }));
  sink.Add("keep");
  const std::string before = sink.Log();
  sink.Add("drop");
  EXPECT_EQ(sink.Log(), before);
  sink.Add("shout");
  sink.Add("throw");
  EXPECT_EQ(calls, 4);
  EXPECT_EQ(sink.Log(), "\r\nkeep\r\nSHOUT\r\nrewritten");
}

TEST(LogFile, FileNameIsTrimmedAndBareNamesLieBesideTheExecutable) {
  const std::string exe = sk::platform::ExecutablePath();
  const std::string exeDir = exe.substr(0, exe.find_last_of("/\\") + 1);
  TskLogFile sink;
  sink.SetOptions({});
  sink.SetFileName(" \t skcommlib.log \r\n");
  EXPECT_EQ(sink.FileName(), "skcommlib.log");
  EXPECT_EQ(sink.GetLogFileName(), exeDir + "skcommlib.log");
  sink.SetFileName("logs/a.log");
  EXPECT_EQ(sink.GetLogFileName(), "logs/a.log");
  sink.SetFileName("/var/tmp/a.log");
  EXPECT_EQ(sink.GetLogFileName(), "/var/tmp/a.log");
  // An absolute path at the root stays absolute.
  sink.SetFileName("/a.log");
  EXPECT_EQ(sink.GetLogFileName(), "/a.log");
  sink.SetFileName("   ");
  EXPECT_EQ(sink.GetLogFileName(), "");
  sink.Add("kept in memory only");
  EXPECT_NO_THROW(sink.Save());
  EXPECT_NE(sink.Log(), "");
}

TEST(LogFile, ClearDropsPendingLinesAndDeletesTheFile) {
  testsupport::ScratchDir dir;
  const std::string path = dir.File("clear.log");
  TskLogFile sink;
  logtest::MakePlain(sink, path);
  sink.Add("one");
  sink.Save();
  sink.Add("two");
  ASSERT_TRUE(logtest::Exists(path));
  sink.Clear();
  EXPECT_FALSE(logtest::Exists(path));
  EXPECT_EQ(sink.Log(), "");
}

TEST(LogFile, ClearLeavesAFileThatAnotherProcessHolds) {
  testsupport::ScratchDir dir;
  const std::string path = dir.File("held.log");
  logtest::WriteAll(path, "theirs");
  TskLogFile sink;
  sink.SetOptions({});
  sink.SetFileName(path);
  sink.Add("pending");
  testsupport::ForeignLock other(path, LOCK_SH);
  sink.Clear();
  EXPECT_EQ(ReadAll(path), "theirs");
  EXPECT_EQ(sink.Log(), "");
}

TEST(LogFile, DestructionSavesPendingLinesWithoutSafeMode) {
  testsupport::ScratchDir dir;
  const std::string path = dir.File("end.log");
  {
    TskLogFile sink;
    logtest::MakePlain(sink, path);
    sink.Add("last words");
    EXPECT_FALSE(logtest::Exists(path));
  }
  EXPECT_EQ(ReadAll(path), "\r\nlast words");
}

TEST(LogFile, DestructionNeverThrowsAFailedSave) {
  testsupport::ScratchDir dir;
  int reports = 0;
  {
    TskLogFile sink;
    logtest::MakePlain(sink, dir.File("missing-dir/end.log"));
    sink.SetOnFatalError(sk::TOnFatalErrorEvent::Bind(
        nullptr,
        [&](sk::TObject*, std::uint32_t, std::uint32_t, const std::string&, bool&) { ++reports; }));
    sink.Add("lost");
  }
  EXPECT_EQ(reports, 1);
}

// What a sink may throw to nobody reaches the error report of the application object it is
// given, with its own text.
TEST(LogFile, FailuresNobodyIsThrownToReachTheGivenErrorReport) {
  sk::platform::TApplication app;
  std::vector<std::string> reports;
  app.SetErrorReport([&](const std::string& m) { reports.push_back(m); });
  testsupport::ScratchDir dir;
  const std::string path = dir.File("missing-dir/end.log");
  {
    TskLogFile sink(nullptr, app);
    EXPECT_EQ(&sink.App(), &app);
    logtest::MakePlain(sink, path);
    sink.SetOnLogEntry(sk::TOnLogEntry::Bind(nullptr, [](sk::TObject*, std::string& s) {
      if (s == "throw") throw std::runtime_error("hook failed");
    }));
    sink.Add("throw");
    // The entry is kept all the same.
    EXPECT_EQ(Lines(sink.Log()), std::vector<std::string>{"throw"});
    EXPECT_EQ(reports, std::vector<std::string>{"hook failed"});
    // Destroyed without an OnFatalError handler, with a save that fails.
  }
  EXPECT_EQ(reports, (std::vector<std::string>{"hook failed", "Error when save log file:" + path}));
}

}  // namespace
