// Saving: the size limit, the two encodings and a file that another process holds.
#include <gtest/gtest.h>

#include "serialkit/log/log_file.h"
#include "log_test_support.h"

namespace {

using logtest::ReadAll;
using logtest::WriteAll;
using sk::TskLogFile;
using namespace std::string_literals;

std::string Numbered(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s += static_cast<char>('0' + i % 10);
  return s;
}

class LogFileSave : public ::testing::Test {
 protected:
  void SetUp() override {
    logtest::MakePlain(sink, path);
    sink.SetOnReachLimit(sk::TNotifyEvent::Bind(this, [this](sk::TObject*) { ++reachedLimit; }));
  }
  testsupport::ScratchDir dir;
  const std::string path = dir.File("save.log");
  TskLogFile sink;
  int reachedLimit = 0;
};

TEST_F(LogFileSave, AppendsBelowTheLimitWithoutRaisingIt) {
  sink.SetSizeLimit(100);
  WriteAll(path, "old");
  sink.Add("new");
  sink.Save();
  EXPECT_EQ(ReadAll(path), "old\r\nnew");
  EXPECT_EQ(reachedLimit, 0);
}

TEST_F(LogFileSave, LimitKeepsTheNewestOldBytesThenTheNewLine) {
  sink.SetSizeLimit(100);
  const std::string old = Numbered(90);
  WriteAll(path, old);
  sink.Add(std::string(28, 'n'));  // 30 bytes with its "\r\n"
  sink.Save();
  EXPECT_EQ(reachedLimit, 1);
  EXPECT_EQ(ReadAll(path), old.substr(20) + "\r\n" + std::string(28, 'n'));
}

TEST_F(LogFileSave, LineLongerThanTheLimitKeepsItsBeginningAndNothingOld) {
  sink.SetSizeLimit(100);
  WriteAll(path, Numbered(90));
  const std::string entry = "L" + Numbered(147);
  sink.Add(entry);
  sink.Save();
  EXPECT_EQ(reachedLimit, 1);
  EXPECT_EQ(ReadAll(path), ("\r\n" + entry).substr(0, 100));
  EXPECT_EQ(sink.Log(), "");
}

TEST_F(LogFileSave, ALimitOfZeroLetsTheFileGrow) {
  sink.SetSizeLimit(0);
  WriteAll(path, Numbered(500));
  sink.Add(Numbered(300));
  sink.Save();
  EXPECT_EQ(ReadAll(path).size(), 802u);
  EXPECT_EQ(reachedLimit, 0);
}

TEST_F(LogFileSave, AnsiFileHoldsLatin1AndQuestionMarksForTheRest) {
  // Raw bytes that are no UTF-8 (data logged as text) pass unchanged, an overlong form included.
  sink.Add("caf\xC3\xA9 \xE2\x82\xAC\xF0\x9F\x98\x80 5 \xFF\x80\xC0\xAF");
  sink.Save();
  EXPECT_EQ(ReadAll(path), "\r\ncaf\xE9 ?? 5 \xFF\x80\xC0\xAF");
}

TEST_F(LogFileSave, Utf16FileIsByteExactWithoutByteOrderMark) {
  sink.SetAnsiOnly(false);
  // A lone byte that is no UTF-8, and an encoded surrogate, stand for themselves too.
  sink.Add("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\t\xFF\xED\xA0\x80");
  sink.Save();
  EXPECT_EQ(ReadAll(path),
            "\r\0\n\0A\0\xE9\0\xAC\x20\x3D\xD8\x00\xDE\\\0"
            "0\0"
            "9\0h\0\xFF\0\xED\0\xA0\0\x80\0"s);
}

TEST_F(LogFileSave, Utf16LimitCountsBytes) {
  sink.SetAnsiOnly(false);
  sink.SetSizeLimit(10);
  WriteAll(path, "abcdefgh");
  sink.Add("xyz");  // 10 bytes as UTF-16
  sink.Save();
  EXPECT_EQ(ReadAll(path), "\r\0\n\0x\0y\0z\0"s);
  sink.Add("pq");  // 8 bytes: the newest 2 old bytes stay
  sink.Save();
  EXPECT_EQ(ReadAll(path), "z\0\r\0\n\0p\0q\0"s);
}

TEST_F(LogFileSave, FileHeldByAnotherProcessFailsAndLaterSaveWritesEverything) {
  sink.SetOptions({sk::loSafeMode});
  struct Report {
    std::uint32_t code, detail;
    std::string msg;
  };
  std::vector<Report> reports;
  bool clearRaise = false;
  sink.SetOnFatalError(sk::TOnFatalErrorEvent::Bind(
      this, [&](sk::TObject* sender, std::uint32_t code, std::uint32_t detail,
                const std::string& msg, bool& raise) {
        EXPECT_EQ(sender, &sink);
        EXPECT_TRUE(raise);
        reports.push_back({code, detail, msg});
        if (clearRaise) raise = false;
      }));
  {
    testsupport::ForeignLock other(path, LOCK_EX);
    try {
      sink.Add("first");
      ADD_FAILURE() << "the failed save did not reach the caller of Add";
    } catch (const sk::Exception& e) {
      EXPECT_EQ(std::string(e.what()), "Error when save log file:" + path);
    }
    clearRaise = true;
    EXPECT_NO_THROW(sink.Add("second"));
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].code, 0u);
    EXPECT_EQ(reports[0].detail, 0u);
    EXPECT_EQ(reports[0].msg, "Error when save log file:" + path);
    EXPECT_EQ(sink.Log(), "\r\nfirst\r\nsecond");
  }
  sink.Add("third");
  EXPECT_EQ(reports.size(), 2u);
  EXPECT_EQ(ReadAll(path), "\r\nfirst\r\nsecond\r\nthird");
  EXPECT_EQ(sink.Log(), "");
}

TEST_F(LogFileSave, SharedFileLetsLockingReadersInButNotWriters) {
  WriteAll(path, "");
  {
    testsupport::ForeignLock reader(path, LOCK_SH);
    sink.Add("exclusive");
    EXPECT_THROW(sink.Save(), sk::Exception);
    sink.SetOptions({sk::loSharedLogFile});
    EXPECT_NO_THROW(sink.Save());
  }
  {
    testsupport::ForeignLock writer(path, LOCK_EX);
    sink.Add("shared");
    EXPECT_THROW(sink.Save(), sk::Exception);
  }
  sink.Save();
  EXPECT_EQ(ReadAll(path), "\r\nexclusive\r\nshared");
}

TEST_F(LogFileSave, TwoSharingSinksOnOneFileNeverWriteAtOnce) {
  TskLogFile other;
  other.SetOptions({sk::loSharedLogFile});
  other.SetFileName(path);
  other.AddSysInfo();
  // A save holds the file open while it raises OnReachLimit: the other sink's save then must
  // fail, though both let readers in.
  sink.SetOptions({sk::loSharedLogFile});
  sink.SetSizeLimit(10);
  WriteAll(path, Numbered(10));
  bool otherFailed = false;
  other.SetOnFatalError(sk::TOnFatalErrorEvent::Bind(
      this, [&](sk::TObject*, std::uint32_t, std::uint32_t, const std::string&, bool& raise) {
        otherFailed = true;
        raise = false;
      }));
  sink.SetOnReachLimit(sk::TNotifyEvent::Bind(this, [&](sk::TObject*) { other.Save(); }));
  sink.Add("x");
  sink.Save();
  EXPECT_TRUE(otherFailed);
  EXPECT_NE(other.Log(), "");
}

}  // namespace
