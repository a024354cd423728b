#pragma once
// A loader wired to a fake port, a fake window and a fake clock in simulated time, with a
// scripted device behind the port that parses the frames it gets and answers them.
//
// Time only moves when the loop waits (ProcessMessagesWaiting) or sleeps: a waiting turn jumps
// to its deadline or to the next scheduled event, whichever comes first, so a test runs
// through seconds of the loader's life at once and every timing is exact.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "loader/firmware_loader.h"
#include "loader/status_panels.h"
#include "serialkit/core/bytes.h"
#include "support/scratch_dir.h"

namespace rig {

class FakeTicks : public bootshell::loader::TickSource {
 public:
  std::uint32_t Now() override { return now; }
  void Sleep(std::uint32_t Ms) override {
    sleeps.push_back(Ms);
    now += std::min(Ms, sleepStep);
  }
  std::uint32_t now = 1'000'000;
  std::uint32_t sleepStep = 0xFFFFFFFF;  // a coarse clock lets less time pass than asked
  std::vector<std::uint32_t> sleeps;
};

// The main window as the loader's host and hearer: its status bar and progress bar as the
// window maps the events, the picture and the page as the window shows them.
class FakeWindow : public bootshell::loader::LoaderHost, public bootshell::loader::StatusPanels {
 public:
  explicit FakeWindow(FakeTicks& ticks) : ticks_(ticks) {}

  void SetStatusPanel(int Index, const std::string& Text) override;
  void SetProgressRange(int Min, int Max) override {
    progressMin = Min;
    progressMax = Max;
  }
  void SetProgressPosition(int Value) override { progressPositions.push_back(Value); }
  void Connecting() override { image1Visible = false; }
  void PortOpened() override { image1Visible = true; }
  void HandshakeAnswered(std::uint32_t Ms) override {
    pageShown = true;
    StatusPanels::HandshakeAnswered(Ms);
  }
  void LoopError(const std::string& Message) override { errors.push_back(Message); }
  int LinkKind() const override { return radioIndex; }
  void ProcessMessages() override;
  void ProcessMessagesWaiting(std::uint32_t TimeoutMs) override;
  void WakeUp() override { woken = true; }

  // Runs Fn inside the loop's message processing once the clock reaches At (a button press,
  // an answer's arrival).
  void At(std::uint32_t AtTick, std::function<void()> Fn);
  void After(std::uint32_t Ms, std::function<void()> Fn) { At(ticks_.now + Ms, std::move(Fn)); }
  // Runs Fn inside the loop's message processing the first time Condition holds there.
  void When(std::function<bool()> Condition, std::function<void()> Fn) {
    watchers_.push_back({std::move(Condition), std::move(Fn)});
  }

  // Panel texts in the order set, consecutive repeats collapsed.
  std::vector<std::string> PanelChanges(int Index) const;
  std::string Panel(int Index) const;

  // A loop that runs away is stopped through this (set by the rig).
  std::function<void()> emergencyStop;
  std::uint32_t simulatedLimitMs = 600'000;
  bool ranAway = false;

  int radioIndex = 0;
  bool image1Visible = false;
  bool pageShown = false;
  int progressMin = -1, progressMax = -1;
  std::vector<int> progressPositions;
  std::vector<std::string> errors;
  std::map<int, std::vector<std::string>> panels;
  std::vector<std::uint32_t> waitTimeouts;  // one per waiting turn
  int plainTurns = 0;                       // ProcessMessages calls
  std::atomic<bool> woken{false};

 private:
  struct Event {
    std::uint32_t at;
    std::uint64_t order;
    std::function<void()> fn;
  };
  bool RunDue();
  void Guard();

  FakeTicks& ticks_;
  std::uint32_t start_ = ticks_.now;
  std::vector<Event> agenda_;
  std::vector<std::pair<std::function<bool()>, std::function<void()>>> watchers_;
  std::uint64_t order_ = 0;
};

// One frame as the device got it.
struct Frame {
  sk::Byte command = 0;
  std::uint16_t length = 0;
  sk::Byte sum = 0;
  sk::ByteString payload;
  std::uint32_t at = 0;       // tick when its last byte went out
  bool purgedBefore = false;  // input was discarded between the previous frame and this one
  bool inOneCall = false;     // the whole frame went in one SendData call
  std::uint32_t Address() const;
};

class FakePort : public bootshell::loader::LoaderPort {
 public:
  explicit FakePort(FakeTicks& ticks) : ticks_(ticks) {}

  void SetActive(bool Value) override;
  void SetBaudRate(std::uint32_t Value) override { baudRates.push_back(Value); }
  void SendData(std::span<const sk::Byte> Data) override;
  void ClearDeviceInput() override;
  std::uint32_t TotalReceived() const override { return totalReceived; }
  std::uint32_t TotalSent() const override { return totalSent; }

  int failingOpens = 0;  // the next this many opens fail
  bool active = false;
  std::vector<std::string> trace;  // "open", "close", "open failed", "purge"
  std::vector<std::uint32_t> baudRates;
  std::vector<std::uint32_t> openAttempts;  // ticks of every attempt to open
  std::vector<Frame> frames;
  std::function<void(const Frame&)> onFrame;
  std::uint32_t totalReceived = 0, totalSent = 0;
  int purges = 0;

 private:
  void Take(sk::Byte b);

  FakeTicks& ticks_;
  sk::ByteString pending_;
  bool purgedSinceFrame_ = false;
  int sendCalls_ = 0;       // SendData calls so far
  int frameFirstCall_ = 0;  // the call that brought the pending frame's first byte
};

// What the device answers to a frame: a tag, or nothing.
using AnswerRule = std::function<std::optional<std::int32_t>(const Frame&)>;

// The usual device: 0 to a handshake, 3 to an address, 2 to a data frame.
std::optional<std::int32_t> Cooperative(const Frame& f);
std::optional<std::int32_t> Silent(const Frame&);

struct LoaderRig {
  LoaderRig();
  // Answers every frame by Rule after AnswerDelayMs.
  void Answer(AnswerRule Rule) { rule = std::move(Rule); }
  // Frames of one command, in order.
  std::vector<Frame> FramesOf(sk::Byte Command) const;
  // Writes a file into the rig's temporary directory and returns its path.
  std::string WriteFile(const std::string& Name, const sk::ByteString& Data);
  // An image file that decrypts to Plain.
  std::string WriteImage(const std::string& Name, const sk::ByteString& Plain);

  FakeTicks ticks;
  FakeWindow window{ticks};
  FakePort port{ticks};
  bootshell::loader::FirmwareLoader loader{port, window, window, ticks};
  AnswerRule rule = Cooperative;
  std::uint32_t answerDelayMs = 3;
  testsupport::ScratchDir scratch;
  std::string dir = scratch.Path().string();
};

sk::ByteString RandomBytes(std::size_t n, unsigned seed);

}  // namespace rig
