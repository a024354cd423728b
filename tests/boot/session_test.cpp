// A whole loader session against the device simulator on a pseudo-terminal, as every front end
// runs one: what the session tells its events for a transfer, a lost port and a bad image.
#ifndef _WIN32  // the simulator runs on Linux only
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "boot/loader_session.h"
#include "boot/transfer_script.h"
#include "cipher/memory_stream.h"
#include "cipher/rc6.h"
#include "loader/firmware_key.h"
#include "serialkit/platform/application.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"

namespace bootshell::boot {
namespace {

using TOutcome = TransferScript::TOutcome;

// Serves this thread's queue of the application object, and gives the script its turn.
class QueueHost : public loader::LoaderHost {
 public:
  explicit QueueHost(TransferScript& Script) : script_(Script) {}
  int LinkKind() const override { return 0; }
  void ProcessMessages() override {
    app_.ProcessMessages();
    script_.Tick();
  }
  void ProcessMessagesWaiting(std::uint32_t TimeoutMs) override {
    app_.ProcessMessages(TimeoutMs);
    script_.Tick();
  }
  void WakeUp() override { app_.WakeUp(thread_); }

 private:
  TransferScript& script_;
  sk::platform::TApplication& app_ = sk::platform::Application();
  const sk::platform::TThreadID thread_ = sk::platform::CurrentThreadId();
};

// The loop's events in order; the answers' tags (port worker) apart.
class Recorder : public loader::LoaderEvents {
 public:
  void PortOpened() override { Add("opened"); }
  void HandshakeAnswered(std::uint32_t) override { Add("handshake"); }
  void ImageLoaded(const std::string& Name, std::int64_t Size, std::int64_t Cycles) override {
    Add("loaded " + Name + " " + std::to_string(Size) + " " + std::to_string(Cycles));
  }
  void BlockAcknowledged(std::int64_t Position, std::int64_t Cycle) override {
    Add("ack " + std::to_string(Position) + " " + std::to_string(Cycle));
  }
  void ImageWritten(const std::string& Name) override { Add("written " + Name); }
  void ConnectionLost() override { Add("lost"); }
  void LoopError(const std::string& Message) override {
    Add(Message.find("too short") != std::string::npos ? "too short" : "error " + Message);
  }
  void Answer(std::int32_t Tag, const std::string& Text) override {
    std::lock_guard lock(mutex_);
    tags_.push_back(Tag);
    EXPECT_TRUE(Text.starts_with('<') && Text.ends_with('>')) << Text;
  }
  std::vector<std::string> Events() {
    std::lock_guard lock(mutex_);
    return events_;
  }
  std::vector<std::int32_t> Tags() {
    std::lock_guard lock(mutex_);
    return tags_;
  }

 private:
  void Add(std::string E) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(E));
  }
  std::mutex mutex_;
  std::vector<std::string> events_;
  std::vector<std::int32_t> tags_;
};

struct Case {
  const char* name;
  std::vector<std::string> simArgs;
  std::size_t imageSize;
  TOutcome outcome;
  std::vector<std::string> events;
  std::vector<std::int32_t> tags;  // the first ones, the greeting aside
};

class Session : public ::testing::TestWithParam<Case> {};

TEST_P(Session, TellsItsEventsInTheLoadersTerms) {
  const Case& c = GetParam();
  testsupport::ScratchDir dir;
  sk::ByteString plain(c.imageSize);
  std::mt19937 rng(5);
  for (auto& b : plain) b = static_cast<sk::Byte>(rng());
  cipher::MemoryStream image(std::move(plain));
  cipher::RC6EncryptStream(image, sk::ToBytes(FirmwareKey), image.Size());
  const std::string path =
      dir.WriteFile("image.brox", std::string(image.Data().begin(), image.Data().end()));
  auto args = c.simArgs;
  args.insert(args.end(), {"--frame-log", "/dev/null"});
  testsupport::SimProcess sim(args);

  using namespace std::chrono_literals;
  Recorder events;
  LoaderSession* running = nullptr;
  TransferScript script({[&] { running->Send(path); }, [&] { running->Stop(); }}, {20s, 20s});
  QueueHost host(script);
  LoaderSession session(host, events, sim.TtyPath());
  running = &session;
  session.SetWatcher(&script);
  script.Start();
  session.Connect();

  EXPECT_EQ(script.Outcome(), c.outcome);
  EXPECT_EQ(events.Events(), c.events);
  auto tags = events.Tags();
  // The device's greeting (an Info answer) may come before the loop purges the input for its
  // first frame, and is then gone: it is no part of what is checked.
  std::erase(tags, 1000);
  ASSERT_GE(tags.size(), c.tags.size()) << ::testing::PrintToString(tags);
  EXPECT_EQ(std::vector<std::int32_t>(tags.begin(), tags.begin() + c.tags.size()), c.tags);
  EXPECT_FALSE(session.Components().Comm().Active());
}

INSTANTIATE_TEST_SUITE_P(
    Runs, Session,
    ::testing::Values(
        Case{"WholeTransfer",
             {},
             10240,
             TOutcome::Written,
             {"opened", "handshake", "loaded image.brox 10240 4", "ack 2048 1", "ack 4096 2",
              "ack 6144 3", "ack 8192 4", "written image.brox"},
             {0, 3, 2, 3, 2, 3, 2, 3, 2}},
        // Handshake, address, data, address: the line goes after the fourth frame.
        Case{"LostPort",
             {"--hangup-after", "4"},
             10240,
             TOutcome::ConnectionLost,
             {"opened", "handshake", "loaded image.brox 10240 4", "ack 2048 1", "lost"},
             {0, 3, 2}},
        Case{"BadImage", {}, 1000, TOutcome::LoopError, {"opened", "handshake", "too short"}, {0}}),
    [](const auto& Info) { return std::string(Info.param.name); });

}  // namespace
}  // namespace bootshell::boot

#endif  // _WIN32
