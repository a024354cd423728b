#pragma once
// The loader as the command line runs it (its session on the console host, answers through the
// session's hookup), in this process against the device simulator, with hooks for timing what
// it does.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "boot/loader_session.h"
#include "console_host.h"
#include "loader/loader_events.h"
#include "support/sim_process.h"

namespace bench {

using Clock = std::chrono::steady_clock;

// CPU time of this whole process (the loop's thread and the port's workers).
double ProcessCpuSeconds();

// The plain image of Size bytes that MakeImage encrypts: the same bytes every time.
sk::ByteString PlainImage(std::size_t Size);

class LoaderRig : public bootshell::loader::LoaderEvents {
 public:
  // Starts the simulator with SimArgs and sets up the loader on its pseudo-terminal.
  LoaderRig(std::vector<std::string> SimArgs, int LinkKind);
  ~LoaderRig() override;

  // Encrypts a random plain image of Size bytes into a file; returns its path.
  std::string MakeImage(std::size_t Size);

  // Presses "Connect" and runs the loop; Watcher hears the session's events and Operator gets
  // every turn (after the loop's messages are served), pressing the buttons through Session().
  void Run(bootshell::loader::LoaderEvents& Watcher, std::function<void()> Operator);
  bootshell::boot::LoaderSession& Session() { return *session_; }
  std::uint32_t TotalReceived() { return session_->Components().Comm().TotalReceived(); }

  // Answers detected since the last Reset, and when the latest reached the front end.
  std::uint64_t Answers() const { return answers_.load(); }
  Clock::time_point LastAnswerAt() const {
    return Clock::time_point(Clock::duration(lastAnswerAt_.load()));
  }
  void ResetAnswerCounts() { answers_ = 0; }

  // loader::LoaderEvents: port worker
  void Answer(std::int32_t Tag, const std::string& Text) override;

 private:
  std::string dir_;
  std::unique_ptr<testsupport::SimProcess> sim_;
  std::unique_ptr<bootshell::cli::ConsoleHost> host_;
  std::unique_ptr<bootshell::boot::LoaderSession> session_;
  std::atomic<std::uint64_t> answers_{0};
  std::atomic<Clock::rep> lastAnswerAt_{0};
};

}  // namespace bench
