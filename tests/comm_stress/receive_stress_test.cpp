// Hammers the receive path of a port on a pseudo-terminal: chunks of random sizes at random
// spacing, some written while the message worker is inside its handler, with purges and direct
// reads from other threads. Every chunk must be accounted for within a second, and what the
// handler is handed must be the written stream, in order, each byte once.
//
// SK_STRESS_CHUNKS sets the chunks per case (default 1500) and SK_STRESS_SEED the seed (default:
// from the clock); scripts/receive-stress.sh runs the cases long.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "serialkit/comm/serial_comm.h"
#include "serialkit/testing/pseudo_terminal.h"
#include "serialkit/platform/serial_device.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Stream bytes count 0..126 and wrap; probes are 0xFF, which the stream never holds.
constexpr std::uint8_t kCycle = 127;
constexpr std::uint8_t kProbe = 0xFF;
constexpr auto kWatchdog = 1s;

std::uint64_t EnvOr(const char* Name, std::uint64_t Default) {
  const char* v = std::getenv(Name);
  return v != nullptr && *v != '\0' ? std::strtoull(v, nullptr, 10) : Default;
}

std::uint64_t Seed() {
  static const std::uint64_t seed =
      EnvOr("SK_STRESS_SEED", static_cast<std::uint64_t>(Clock::now().time_since_epoch().count()));
  return seed;
}

// What the receive path and the direct reads took, checked as it comes: each piece (one
// delivery or one direct read) must continue the stream without a gap, so that a lost,
// repeated or reordered byte shows at once.
class Tally {
 public:
  // Contiguity is checked across pieces only while one reader takes everything.
  explicit Tally(bool WholeStream) : whole_(WholeStream) {}

  void Piece(const std::uint8_t* Data, std::uint32_t Len, bool Delivered) {
    std::unique_lock lock(mutex_);
    int prev = whole_ ? last_ : -1;
    for (std::uint32_t i = 0; i < Len; ++i) {
      const std::uint8_t b = Data[i];
      if (b == kProbe) {
        ++probes_;
        continue;
      }
      if (prev >= 0 && b != (prev + 1) % kCycle && fault_.empty())
        fault_ = "byte " + std::to_string(b) + " after " + std::to_string(prev) + " at " +
                 std::to_string(taken_ + i);
      prev = b;
      ++(Delivered ? delivered_ : direct_);
    }
    last_ = prev;
    taken_ += Len;
    ++pieces_;
    changed_.notify_all();
    // A writer asked to write while the message worker is inside its handler.
    if (Delivered && hold_ == HoldState::requested) {
      hold_ = HoldState::inside;
      changed_.notify_all();
      changed_.wait_for(lock, kWatchdog, [&] { return hold_ == HoldState::released; });
      hold_ = HoldState::none;
      changed_.notify_all();
    }
  }

  // Waits until Pred holds (under the lock) or the watchdog runs out.
  bool Until(const std::function<bool()>& Pred) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kWatchdog, Pred);
  }
  bool UntilAccounted(std::uint64_t Written) {
    return Until([&] { return delivered_ + direct_ >= Written; });
  }
  bool UntilProbes(std::uint64_t Written) {
    return Until([&] { return probes_ >= Written; });
  }

  // The next delivery waits inside the handler until Release; true once it does.
  void RequestHold() {
    std::lock_guard lock(mutex_);
    hold_ = HoldState::requested;
  }
  // False when no delivery came to hold: direct reads took all Written bytes first.
  bool UntilHeld(std::uint64_t Written) {
    std::unique_lock lock(mutex_);
    const bool held = changed_.wait_for(lock, kWatchdog, [&] {
      return hold_ == HoldState::inside || delivered_ + direct_ >= Written;
    });
    if (held && hold_ == HoldState::inside) return true;
    hold_ = HoldState::none;
    return false;
  }
  // Returns once the handler has gone on: a hold requested before it saw the release would
  // otherwise keep it waiting for a release that never comes.
  void Release() {
    std::unique_lock lock(mutex_);
    if (hold_ != HoldState::inside) return;
    hold_ = HoldState::released;
    changed_.notify_all();
    changed_.wait_for(lock, kWatchdog, [&] { return hold_ != HoldState::released; });
  }

  std::string Report(std::uint64_t Written) {
    std::lock_guard lock(mutex_);
    return "written " + std::to_string(Written) + ", delivered " + std::to_string(delivered_) +
           ", read directly " + std::to_string(direct_) + ", probes " + std::to_string(probes_) +
           ", pieces " + std::to_string(pieces_) + ", seed " + std::to_string(Seed());
  }
  std::string Fault() {
    std::lock_guard lock(mutex_);
    return fault_;
  }
  std::uint64_t Delivered() {
    std::lock_guard lock(mutex_);
    return delivered_;
  }
  std::uint64_t Direct() {
    std::lock_guard lock(mutex_);
    return direct_;
  }

 private:
  enum class HoldState { none, requested, inside, released };
  const bool whole_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int last_ = -1;
  std::uint64_t delivered_ = 0, direct_ = 0, probes_ = 0, taken_ = 0, pieces_ = 0;
  HoldState hold_ = HoldState::none;
  std::string fault_;
};

// A port on a new pseudo-terminal whose handler feeds a Tally from the message worker.
class StressedPort {
 public:
  explicit StressedPort(Tally& T) : tally_(T) {
    com_.SetUseMainThread(false);
    com_.SetOnAfterReceive(sk::TOnReceived::Bind(
        this,
        [this](sk::TObject*, const sk::Byte* b, std::uint32_t n) { tally_.Piece(b, n, true); }));
    com_.SetExtHandle(sk::platform::OpenSerialDevice(pty_.SlavePath()));
  }
  ~StressedPort() { com_.SetActive(false); }

  sk::TskComm& Com() { return com_; }
  bool Write(const std::vector<std::uint8_t>& Bytes) { return pty_.Write(Bytes); }

 private:
  Tally& tally_;
  sk::platform::PseudoTerminal pty_;
  sk::TskComm com_;
};

// Writes the stream in chunks of 1 to 300 bytes, back to back or spaced by up to 200 µs.
class Writer {
 public:
  explicit Writer(std::uint64_t Salt) : rng_(Seed() ^ Salt) {}

  std::vector<std::uint8_t> NextChunk() {
    std::vector<std::uint8_t> c(Pick(1, 300));
    for (auto& b : c) b = static_cast<std::uint8_t>(written_++ % kCycle);
    return c;
  }
  void Space() {
    switch (Pick(0, 3)) {
      case 0:
        break;
      case 1:
        std::this_thread::yield();
        break;
      default:
        std::this_thread::sleep_for(std::chrono::microseconds(Pick(1, 200)));
    }
  }
  std::size_t Pick(std::size_t Lo, std::size_t Hi) {
    return std::uniform_int_distribution<std::size_t>(Lo, Hi)(rng_);
  }
  std::uint64_t Written() const { return written_; }

 private:
  std::mt19937_64 rng_;
  std::uint64_t written_ = 0;
};

const std::uint64_t kChunks = EnvOr("SK_STRESS_CHUNKS", 1500);

// The figures of a run, for the long runs' record.
void Summary(Tally& T, std::uint64_t Written) {
  std::cout << "[ figures  ] " << ::testing::UnitTest::GetInstance()->current_test_info()->name()
            << ": " << kChunks << " chunks, " << T.Report(Written) << std::endl;
}

// Writes kChunks chunks in batches of up to eight; after each batch every byte must be
// accounted for within the watchdog's second. One chunk in eight is written while the
// message worker is held inside its handler; Landed runs while it is held.
void Hammer(StressedPort& Port, Tally& T, Writer& W, const std::function<void()>& Landed = {}) {
  for (std::uint64_t chunk = 0; chunk < kChunks;) {
    const std::size_t batch = W.Pick(1, 8);
    for (std::size_t i = 0; i < batch && chunk < kChunks; ++i, ++chunk) {
      if (W.Pick(0, 7) == 0) {
        T.RequestHold();
        ASSERT_TRUE(Port.Write(W.NextChunk()));
        if (T.UntilHeld(W.Written())) {
          ASSERT_TRUE(Port.Write(W.NextChunk()));
          ++chunk;
          if (Landed) Landed();
          T.Release();
        }
      } else {
        ASSERT_TRUE(Port.Write(W.NextChunk()));
      }
      W.Space();
    }
    ASSERT_TRUE(T.UntilAccounted(W.Written()))
        << "chunk " << chunk << " not accounted for within a second: " << T.Report(W.Written())
        << ", waiting " << Port.Com().ReadyForRead();
    ASSERT_EQ(T.Fault(), "") << T.Report(W.Written());
  }
}

TEST(ReceiveStress, EveryChunkReachesTheHandlerOnceAndInOrder) {
  Tally tally(true);
  StressedPort port(tally);
  Writer writer(1);
  Hammer(port, tally, writer);
  EXPECT_EQ(tally.Delivered(), writer.Written()) << tally.Report(writer.Written());
  EXPECT_EQ(tally.Fault(), "");
  Summary(tally, writer.Written());
}

// A helper thread that is told to stop and joined however the test ends; Stop runs first, so
// that it can wake the thread.
class Helper {
 public:
  Helper(std::function<void()> Body, std::function<void()> Stop)
      : stop_(std::move(Stop)), thread_(std::move(Body)) {}
  ~Helper() { Join(); }
  void Join() {
    if (!thread_.joinable()) return;
    stop_();
    thread_.join();
  }

 private:
  std::function<void()> stop_;
  std::thread thread_;
};

TEST(ReceiveStress, DirectReadsFromAnotherThreadShareTheStreamWithoutLossOrWaiting) {
  Tally tally(false);
  StressedPort port(tally);
  Writer writer(2);
  std::atomic<bool> stop{false};
  Helper reader(
      [&] {
        Writer pace(3);
        std::vector<sk::Byte> buf(64);
        while (!stop.load()) {
          const auto n =
              port.Com().ReadMax(buf.data(), static_cast<std::uint32_t>(pace.Pick(1, 64)));
          if (n > 0) tally.Piece(buf.data(), static_cast<std::uint32_t>(n), false);
          pace.Space();
        }
      },
      [&] {
        stop.store(true);
        port.Com().SetActive(false);  // ends a read that waits, should one
      });
  Hammer(port, tally, writer);
  reader.Join();
  EXPECT_EQ(tally.Delivered() + tally.Direct(), writer.Written()) << tally.Report(writer.Written());
  EXPECT_EQ(tally.Fault(), "");
  Summary(tally, writer.Written());
}

// Purges the port's input from its own thread at random moments, or at once when asked; paused,
// it purges nothing until resumed.
class Purger {
 public:
  explicit Purger(sk::TskComm& Com)
      : com_(Com),
        thread_([this] { Run(); },
                [this] {
                  std::lock_guard lock(m_);
                  stop_ = true;
                  cv_.notify_all();
                }) {}

  // Returns once no purge is under way.
  void Pause() {
    std::unique_lock lock(m_);
    paused_ = true;
    ack_ = false;
    cv_.notify_all();
    cv_.wait(lock, [&] { return ack_; });
  }
  void Resume(bool PurgeNow) {
    std::lock_guard lock(m_);
    paused_ = false;
    now_ = PurgeNow;
    cv_.notify_all();
  }

 private:
  void Run() {
    Writer pace(5);
    std::unique_lock lock(m_);
    for (;;) {
      cv_.wait_for(lock, std::chrono::microseconds(pace.Pick(1, 300)),
                   [&] { return stop_ || paused_ || now_; });
      if (stop_) return;
      if (paused_) {
        ack_ = true;
        cv_.notify_all();
        // A pause that ends and begins again before this wakes asks for a new answer.
        cv_.wait(lock, [&] { return stop_ || !paused_ || !ack_; });
        continue;
      }
      now_ = false;
      lock.unlock();
      com_.ClearDeviceInput();
      lock.lock();
    }
  }

  sk::TskComm& com_;
  std::mutex m_;
  std::condition_variable cv_;
  bool paused_ = false, ack_ = false, now_ = false, stop_ = false;
  Helper thread_;  // last: started once the rest is set up
};

// Purges drop what they find; a probe written while they pause must then arrive.
TEST(ReceiveStress, APurgeNeverLeavesTheReceivePathWaitingForBytesItMeasuredBefore) {
  Tally tally(false);
  StressedPort port(tally);
  Writer writer(4);
  Purger purger(port.Com());
  std::uint64_t probes = 0;
  const std::uint64_t rounds = std::max<std::uint64_t>(kChunks / 4, 1);
  for (std::uint64_t round = 0; round < rounds; ++round) {
    for (std::size_t i = writer.Pick(1, 8); i > 0; --i) {
      if (writer.Pick(0, 1) == 0) {
        // The purge lands as the handler returns to measure the chunk written meanwhile.
        purger.Pause();
        tally.RequestHold();
        ASSERT_TRUE(port.Write(writer.NextChunk()));
        const bool held = tally.UntilHeld(writer.Written());
        if (held) {
          ASSERT_TRUE(port.Write(writer.NextChunk()));
        }
        purger.Resume(held);
        tally.Release();
      } else {
        ASSERT_TRUE(port.Write(writer.NextChunk()));
      }
      writer.Space();
    }
    purger.Pause();
    const std::vector<std::uint8_t> probe(writer.Pick(1, 16), kProbe);
    probes += probe.size();
    ASSERT_TRUE(port.Write(probe));
    ASSERT_TRUE(tally.UntilProbes(probes))
        << "probe of round " << round
        << " not delivered within a second: " << tally.Report(writer.Written()) << ", waiting "
        << port.Com().ReadyForRead();
    purger.Resume(false);
  }
  EXPECT_LE(tally.Delivered(), writer.Written());
  EXPECT_EQ(tally.Fault(), "") << tally.Report(writer.Written());
  Summary(tally, writer.Written());
}

}  // namespace
