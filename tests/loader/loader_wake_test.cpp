// The loop on its own thread with the application object's message processing, answers coming
// from another thread as from a port worker: a waiting turn blocks until its time is up, and
// an answer ends the block at once.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "loader/boot_protocol.h"
#include "loader/firmware_loader.h"
#include "loader_rig.h"
#include "serialkit/platform/application.h"

namespace {

using namespace bootshell::loader;
using namespace bootshell::protocol;
namespace platform = sk::platform;

// Everything the loop does, in order, as the other thread sees it.
class Journal {
 public:
  void Add(std::string entry) {
    {
      std::lock_guard lock(mutex_);
      entries_.push_back(std::move(entry));
    }
    changed_.notify_all();
  }
  // Waits (at most 20 s) until Count entries equal to Entry have been made.
  bool WaitFor(const std::string& entry, std::size_t count = 1) {
    return WaitUntil([&] { return CountLocked(entry) >= count; });
  }
  template <class Condition>
  bool WaitUntil(Condition done) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20), done);
  }
  std::size_t Count(const std::string& entry) {
    std::lock_guard lock(mutex_);
    return CountLocked(entry);
  }
  std::vector<std::string> Entries() {
    std::lock_guard lock(mutex_);
    return entries_;
  }

  // For WaitUntil conditions, which run with the journal locked.
  std::size_t CountLocked(const std::string& entry) const {
    return std::size_t(std::count(entries_.begin(), entries_.end(), entry));
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> entries_;
};

class QueueWindow : public LoaderHost, public LoaderEvents {
 public:
  QueueWindow(platform::TApplication& app, Journal& journal) : app_(app), journal_(journal) {}
  // On the loop's thread, before the loop runs.
  void Attach() { thread_ = app_.EnsureMessageQueue(); }
  platform::TThreadID Thread() const { return thread_; }

  void ImageWritten(const std::string& Name) override {
    journal_.Add("panel1 File " + Name + " written");
  }
  void HandshakeAnswered(std::uint32_t) override { journal_.Add("page"); }
  int LinkKind() const override { return 0; }
  void ProcessMessages() override { app_.ProcessMessages(); }
  void ProcessMessagesWaiting(std::uint32_t TimeoutMs) override {
    journal_.Add("wait");
    journal_.Add(app_.ProcessMessages(TimeoutMs) ? "woken" : "timed out");
  }
  void WakeUp() override {
    journal_.Add("wake");
    app_.WakeUp(thread_);
  }
  void LoopError(const std::string& Message) override { journal_.Add("error " + Message); }

 private:
  platform::TApplication& app_;
  Journal& journal_;
  std::atomic<platform::TThreadID> thread_{0};
};

class JournalPort : public LoaderPort {
 public:
  explicit JournalPort(Journal& journal) : journal_(journal) {}
  void SetActive(bool Value) override { journal_.Add(Value ? "open" : "close"); }
  void SetBaudRate(std::uint32_t) override {}
  void SendData(std::span<const sk::Byte> Data) override {
    for (sk::Byte b : Data) Take(b);
  }
  void ClearDeviceInput() override {}
  std::uint32_t TotalReceived() const override { return 0; }
  std::uint32_t TotalSent() const override { return sent_; }

 private:
  void Take(sk::Byte b) {
    ++sent_;
    frame_.push_back(b);
    if (frame_.size() >= 4 && frame_.size() == 4u + (frame_[1] | frame_[2] << 8)) {
      char name[16];
      std::snprintf(name, sizeof name, "frame %02X", frame_[0]);
      journal_.Add(name);
      frame_.clear();
    }
  }
  Journal& journal_;
  sk::ByteString frame_;
  std::atomic<std::uint32_t> sent_{0};
};

TEST(LoaderThreads, WaitingTurnsBlockAndAnswersEndTheBlockAtOnce) {
  platform::TApplication app;
  Journal journal;
  QueueWindow window(app, journal);
  JournalPort port(journal);
  FirmwareLoader loader(port, window, window);
  rig::LoaderRig files;  // only for its temporary directory
  const std::string path = files.WriteImage("image.brox", rig::RandomBytes(2048, 1));

  std::thread loop([&] {
    window.Attach();
    journal.Add("attached");
    loader.Connect();
    journal.Add("returned");
  });
  ASSERT_TRUE(journal.WaitFor("attached"));

  // The device answers each frame only once the loop has waited out a full turn, so the test
  // sees both: a block that lasts until its time is up, and an answer that ends one early.
  auto answerAfterATimedOutTurn = [&](const char* frame, std::size_t nth, std::int32_t tag) {
    ASSERT_TRUE(journal.WaitFor(frame, nth)) << frame;
    std::size_t timedOut = journal.Count("timed out");
    ASSERT_TRUE(journal.WaitFor("timed out", timedOut + 1));
    loader.AnswerArrived(tag);
  };
  // The handshake goes again every 100 ms; like a device, answer each one until it counts.
  for (std::size_t hellos = 1; journal.Count("page") == 0; ++hellos) {
    ASSERT_TRUE(journal.WaitFor("frame A1", hellos));
    loader.AnswerArrived(tagHandshake);
    ASSERT_TRUE(journal.WaitUntil([&] {
      return journal.CountLocked("page") > 0 || journal.CountLocked("frame A1") > hellos;
    }));
  }
  ASSERT_TRUE(app.PostCall(window.Thread(), [&] { loader.Send(path); }));
  answerAfterATimedOutTurn("frame A7", 1, tagAddressAccepted);
  answerAfterATimedOutTurn("frame A8", 1, tagDataWritten);
  ASSERT_TRUE(journal.WaitFor("panel1 File image.brox written"));
  ASSERT_TRUE(app.PostCall(window.Thread(), [&] { loader.Stop(); }));
  ASSERT_TRUE(journal.WaitFor("returned"));
  loop.join();

  // From every wake-up to what it was for, no turn waited out its time.
  std::vector<std::string> entries = journal.Entries();
  int wakes = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i] != "wake") continue;
    ++wakes;
    for (std::size_t j = i + 1; j < entries.size(); ++j) {
      const std::string& e = entries[j];
      if (e.starts_with("frame") || e.starts_with("panel1") || e == "page" || e == "close") break;
      EXPECT_NE(entries[j], "timed out") << "entry " << j << " after the wake-up at " << i;
    }
  }
  EXPECT_GE(wakes, 4);  // three answers (more if a handshake went twice) and the Exit
  EXPECT_EQ(loader.LoaderState(), lsIdle);
}

}  // namespace
