#pragma once
// The loader as the command line runs it (port, processor, console window, state machine), in
// this process against the device simulator, with hooks for timing what it does.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "boot/boot_components.h"
#include "boot/comm_loader_port.h"
#include "console_output.h"
#include "console_window.h"
#include "loader/firmware_loader.h"
#include "support/sim_process.h"

namespace bench {

using Clock = std::chrono::steady_clock;

// CPU time of this whole process (the loop's thread and the port's workers).
double ProcessCpuSeconds();

// The plain image of Size bytes that MakeImage encrypts: the same bytes every time.
sk::ByteString PlainImage(std::size_t Size);

class LoaderRig {
 public:
  // Starts the simulator with SimArgs and sets up the loader on its pseudo-terminal.
  LoaderRig(std::vector<std::string> SimArgs, int LinkKind);
  ~LoaderRig();

  // Encrypts a random plain image of Size bytes into a file; returns its path.
  std::string MakeImage(std::size_t Size);

  // Presses "Connect" and runs the loop; Operator gets every turn (after the window's
  // messages are served) with the state, and presses the buttons through Loader().
  void Run(std::function<void(std::int32_t State)> Operator);
  bootshell::loader::FirmwareLoader& Loader() { return *loader_; }

  // Bytes of the answers (markers included) detected since the last Reset, and their count.
  std::uint64_t AnswerBytes() const { return answerBytes_.load(); }
  std::uint64_t Answers() const { return answers_.load(); }
  // When the handler saw the latest answer.
  Clock::time_point LastAnswerAt() const {
    return Clock::time_point(Clock::duration(lastAnswerAt_.load()));
  }
  void ResetAnswerCounts() {
    answerBytes_ = 0;
    answers_ = 0;
  }

 private:
  std::string dir_;
  std::unique_ptr<testsupport::SimProcess> sim_;
  bootshell::cli::ConsoleOutput out_;
  std::unique_ptr<bootshell::boot::BootComponents> parts_;
  std::unique_ptr<bootshell::cli::ConsoleWindow> window_;
  std::unique_ptr<bootshell::boot::CommLoaderPort> port_;
  std::unique_ptr<bootshell::loader::FirmwareLoader> loader_;
  std::atomic<std::uint64_t> answerBytes_{0};
  std::atomic<std::uint64_t> answers_{0};
  std::atomic<Clock::rep> lastAnswerAt_{0};
};

}  // namespace bench
