// The output path on cue: a stand-in for write(2) refuses bytes exactly when a test needs it,
// which a real descriptor cannot be made to do at a chosen moment.
#include "serialkit/platform/posix/output_queue.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using sk::platform::posix::OutputQueue;
using Bytes = std::vector<std::uint8_t>;

// What reached the "driver", and how many calls are refused (EAGAIN) before it takes bytes.
struct Driver {
  std::mutex mutex;
  Bytes wire;
  int refuse = 0;
  int calls = 0;
  std::function<void()> onFirstCall;

  ssize_t Write(const std::uint8_t* Data, std::size_t Count) {
    std::function<void()> first;
    {
      std::lock_guard lock(mutex);
      if (calls++ == 0) first = std::move(onFirstCall);
    }
    if (first) first();
    std::lock_guard lock(mutex);
    if (refuse > 0) {
      --refuse;
      errno = EAGAIN;
      return -1;
    }
    wire.insert(wire.end(), Data, Data + Count);
    return static_cast<ssize_t>(Count);
  }
  Bytes Wire() {
    std::lock_guard lock(mutex);
    return wire;
  }
};

// A pipe whose write end is always writable: the queue's wait for room returns at once.
struct WritablePipe {
  int fd[2] = {-1, -1};
  WritablePipe() { EXPECT_EQ(::pipe(fd), 0); }
  ~WritablePipe() {
    ::close(fd[0]);
    ::close(fd[1]);
  }
};

TEST(OutputOrder, AWriteTheDriverTookNothingOfStillGoesBeforeWritesQueuedMeanwhile) {
  for (const bool waited : {false, true}) {
    SCOPED_TRACE(waited ? "waited" : "unwaited");
    WritablePipe pipe;
    Driver driver;
    driver.refuse = 1;  // the first write's direct attempt
    OutputQueue queue(
        pipe.fd[1], [] {},
        [&](const std::uint8_t* d, std::size_t n) { return driver.Write(d, n); });
    const Bytes first{1, 2, 3};
    const Bytes second{4, 5};
    // While the first caller is inside its direct attempt, another thread queues its write.
    driver.onFirstCall = [&] {
      std::thread other([&] { EXPECT_EQ(queue.WriteAsync(second.data(), second.size(), {}), 0); });
      other.join();
    };
    if (waited) {
      std::size_t written = 0;
      EXPECT_EQ(queue.Write(first.data(), first.size(), written, {}), 0);
      EXPECT_EQ(written, first.size());
    } else {
      EXPECT_EQ(queue.WriteAsync(first.data(), first.size(), {}), 0);
    }
    ASSERT_TRUE(queue.WaitIdle());
    EXPECT_EQ(driver.Wire(), (Bytes{1, 2, 3, 4, 5}));
  }
}

TEST(OutputTimeouts, SettingsTooLargeForTheClockWaitInsteadOfTimingOutAtOnce) {
  struct Case {
    const char* name;
    OutputQueue::Timeouts timeouts;
    std::size_t count;
  };
  const Case cases[] = {
      {"largest multiplier and constant", {0xFFFFFFFF, 0xFFFFFFFF}, 4096},
      {"largest multiplier", {0xFFFFFFFF, 0}, 65536},
      {"multiplier past the clock by count", {10'000'000, 1}, 1'000'000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WritablePipe pipe;
    Driver driver;
    driver.refuse = 2;  // the direct attempt and the writer's first try
    OutputQueue queue(
        pipe.fd[1], [] {},
        [&](const std::uint8_t* d, std::size_t n) { return driver.Write(d, n); });
    const Bytes data(c.count, 0x55);
    std::size_t written = 0;
    EXPECT_EQ(queue.Write(data.data(), data.size(), written, c.timeouts), 0);
    EXPECT_EQ(written, data.size());
  }
}

// Voluntary context switches of the thread Tid of this process so far.
long SwitchesOf(pid_t Tid) {
  std::ifstream status("/proc/self/task/" + std::to_string(Tid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::stol(line.substr(24));
  return -1;
}

// Writes that the caller hands to the driver itself leave the writer thread asleep: a sender
// of single header bytes would otherwise wake it once a byte, for nothing.
TEST(OutputWakeUps, WritesTheCallerMakesItselfLeaveTheWriterAsleep) {
  Driver driver;
  WritablePipe pipe;
  const std::thread::id caller = std::this_thread::get_id();
  std::atomic<pid_t> writer{0};
  OutputQueue queue(
      pipe.fd[1], [] {},
      [&](const std::uint8_t* d, std::size_t n) {
        if (std::this_thread::get_id() != caller) writer = ::gettid();
        return driver.Write(d, n);
      });
  // A write the driver refuses at first is finished by the writer: its thread is then known.
  driver.refuse = 1;
  const std::uint8_t b = 1;
  std::size_t written = 0;
  ASSERT_EQ(queue.Write(&b, 1, written, {}), 0);
  ASSERT_NE(writer.load(), 0);
  const long before = SwitchesOf(writer);
  ASSERT_GE(before, 0);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(queue.Write(&b, 1, written, {}), 0);
  EXPECT_LE(SwitchesOf(writer) - before, 5);
  EXPECT_EQ(driver.Wire().size(), 201u);
}

}  // namespace
