#pragma once
// One run of the command-line loader: the loader state machine on the port and processor of
// the main window, with a console for a window and a script for an operator. The script
// presses "Connect", presses "Send" once the device has answered the handshake, and "Exit"
// when the image is written or when something has gone wrong: no open port or no handshake
// answer within the connect time-out, no acknowledgement within the answer time-out, the
// port closing itself, or an interrupt.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "boot/boot_components.h"
#include "boot/comm_loader_port.h"
#include "boot/loader_hookup.h"
#include "cli_options.h"
#include "console_output.h"
#include "console_window.h"
#include "exit_status.h"
#include "image_check.h"
#include "loader/firmware_loader.h"

namespace bootshell::cli {

struct SessionResult {
  ExitStatus status = ExitStatus::Failed;
  std::string message;  // what went wrong, or a summary of what was written
};

class BootSession {
 public:
  // Interrupted is asked at every turn; true ends the run with ExitStatus::Interrupted.
  BootSession(CliOptions Options, ConsoleOutput& Out, std::function<bool()> Interrupted = {});
  ~BootSession();
  BootSession(const BootSession&) = delete;
  BootSession& operator=(const BootSession&) = delete;

  // Runs the whole session in the calling thread and returns how it ended. Once only.
  SessionResult Run();

  // For tests: the components as the loader drives them.
  boot::BootComponents& Components() { return components_; }

 private:
  using Clock = std::chrono::steady_clock;

  // Quiet runs make no answer lines.
  boot::LoaderHookup::AnswerHandler AnswerHandler();
  // The operator's turn, after every serving of the window's messages.
  void Operate();
  void StateEntered(std::int32_t State, std::int32_t Previous);
  void CheckDeadlines(std::int32_t State, Clock::time_point Now);
  // Presses "Exit" with the outcome the run will report.
  void Finish(ExitStatus Status, std::string Message);
  SessionResult Outcome();
  std::string WaitingMessage(std::int32_t State) const;
  std::string StateText(std::int32_t State) const;

  const CliOptions options_;
  ConsoleOutput& out_;
  const std::function<bool()> interrupted_;
  std::optional<ImageFacts> image_;

  boot::BootComponents components_;
  ConsoleWindow window_;
  boot::CommLoaderPort port_;
  loader::FirmwareLoader loader_;
  boot::LoaderHookup hookup_;  // destroyed first: closes the port, then lets go of it

  // The operator's view of the run, in the loop's thread.
  std::optional<SessionResult> result_;
  Clock::time_point started_{};
  Clock::time_point stateSince_{};
  std::int32_t lastState_ = 0;
  bool portOpened_ = false;
  bool handshakeAnswered_ = false;
  bool sendPressed_ = false;
  bool reportedOpenFailure_ = false;
  int handshakesSent_ = 0;
  std::int64_t cyclesDone_ = 0;
};

}  // namespace bootshell::cli
