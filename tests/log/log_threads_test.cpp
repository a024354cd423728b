// Several threads logging into one sink at once: every entry arrives whole, once, in its
// thread's order.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <sstream>
#include <thread>

#include "log_test_support.h"
#include "serialkit/log/log_file.h"
#include "support/eventually.h"

namespace {

using sk::TskLogFile;

constexpr int kThreads = 4;

void LogFromThreads(TskLogFile& sink, int entriesEach) {
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&sink, t, entriesEach] {
      for (int i = 0; i < entriesEach; ++i) {
        if (i % 2 == 0)
          sink.AddLogFmt(sk::dlSimple, "thread %d entry %d %s", t, i, std::string(40, 'a' + t));
        else
          sink.AddLog(sk::dlSimple, "thread " + std::to_string(t) + " entry " + std::to_string(i) +
                                        " " + std::string(40, 'a' + t));
      }
    });
  }
  for (auto& th : threads) th.join();
}

struct Entry {
  int thread = -1;
  int index = -1;
};

// Reads "[+mmm] thread T entry I pppp…" (40 payload letters, one per thread); nothing when the
// line is not exactly that.
std::optional<Entry> ParseEntry(const std::string& Line) {
  std::string stamp, rest, word1, word2, payload;
  if (!logtest::SplitStamp(Line, stamp, rest) || !logtest::IsMillisecondStamp(stamp)) return {};
  std::istringstream in(rest);
  Entry e;
  if (!(in >> word1 >> e.thread >> word2 >> e.index >> payload) || word1 != "thread" ||
      word2 != "entry" || !in.eof() || e.thread < 0 || e.thread >= kThreads ||
      payload != std::string(40, static_cast<char>('a' + e.thread)) ||
      rest != "thread " + std::to_string(e.thread) + " entry " + std::to_string(e.index) + " " +
                  payload)
    return {};
  return e;
}

bool IsSystemLine(const std::string& Line) {
  std::string stamp, rest;
  return logtest::SplitStamp(Line, stamp, rest) && rest.starts_with("SerialKit Lib v1.0 ");
}

void ExpectEveryLineIntact(const std::string& content, int entriesEach) {
  const auto lines = logtest::Lines(content);
  ASSERT_EQ(lines.size(), 1u + kThreads * entriesEach);
  EXPECT_TRUE(IsSystemLine(lines[0])) << lines[0];
  std::map<int, int> next;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::optional<Entry> e = ParseEntry(lines[i]);
    ASSERT_TRUE(e) << "line " << i << ": " << lines[i];
    EXPECT_EQ(e->index, next[e->thread]++) << "thread " << e->thread << " out of order";
  }
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next[t], entriesEach);
}

TEST(LogThreads, EntriesFromConcurrentThreadsStayWholeInMemory) {
  testsupport::ScratchDir dir;
  const std::string path = dir.File("threads.log");
  {
    TskLogFile sink;
    sink.SetOptions({sk::loMSec});
    sink.SetFileName(path);
    sink.SetSizeLimit(0);
    LogFromThreads(sink, 1000);
  }
  ExpectEveryLineIntact(logtest::ReadAll(path), 1000);
}

TEST(LogThreads, EntriesFromConcurrentThreadsStayWholeSavingEachOne) {
  testsupport::ScratchDir dir;
  const std::string path = dir.File("threads.log");
  TskLogFile sink;
  sink.SetOptions({sk::loMSec, sk::loSafeMode});
  sink.SetFileName(path);
  sink.SetSizeLimit(0);
  LogFromThreads(sink, 150);
  EXPECT_EQ(sink.Log(), "");
  ExpectEveryLineIntact(logtest::ReadAll(path), 150);
}

TEST(LogThreads, SavingAndClearingWhileOthersLogLosesNothingSinceTheLastClear) {
  testsupport::ScratchDir dir;
  const std::string path = dir.File("threads.log");
  TskLogFile sink;
  sink.SetOptions({sk::loMSec});
  sink.SetFileName(path);
  sink.SetSizeLimit(0);
  std::atomic<bool> done{false};
  std::thread saver([&] {
    int round = 0;
    while (!done.load()) {
      sink.Save();
      if (++round == 3) sink.Clear();  // early: some entries before it may be gone
    }
  });
  LogFromThreads(sink, 500);
  done = true;
  saver.join();
  sink.Save();
  // Whatever survived the clear is whole lines, each thread's entries in order and gapless
  // from its first surviving one on.
  const auto lines = logtest::Lines(logtest::ReadAll(path));
  std::map<int, int> next;
  for (const auto& line : lines) {
    if (IsSystemLine(line)) continue;
    const std::optional<Entry> e = ParseEntry(line);
    ASSERT_TRUE(e) << line;
    const int t = e->thread, i = e->index;
    if (next.count(t) != 0) {
      EXPECT_EQ(i, next[t]) << "thread " << t;
    }
    next[t] = i + 1;
  }
  for (const auto& [t, n] : next) EXPECT_EQ(n, 500) << "thread " << t;
}

// The hook runs without the sink's lock: one that waits for another thread's entry sees it
// come, where under the lock both would wait for each other.
TEST(LogThreads, EntryHookThatWaitsForAnotherThreadsEntrySeesItCome) {
  TskLogFile sink;
  std::atomic<bool> innerLogged{false}, sawInner{false};
  sink.SetOnLogEntry(sk::TOnLogEntry::Bind(&sink, [&](sk::TObject*, std::string& Entry) {
    if (Entry != "outer") return;
    std::thread other([&] {
      sink.AddLog(sk::dlSimple, "inner");
      innerLogged = true;
    });
    testsupport::Eventually([&] { return innerLogged.load(); }, std::chrono::seconds(5));
    sawInner = innerLogged.load();
    other.join();  // ends once the lock is free, whichever way it went
  }));
  sink.AddLog(sk::dlSimple, "outer");
  EXPECT_TRUE(sawInner);
}

}  // namespace
