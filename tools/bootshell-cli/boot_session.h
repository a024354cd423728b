#pragma once
// One run of the command-line loader: the loader session of the main window's port set-up,
// with a console for a window and the operator's script at its buttons. Lines tell what the
// loader does; the result says how the run ended.
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "boot/loader_session.h"
#include "boot/transfer_script.h"
#include "cli_options.h"
#include "console_host.h"
#include "console_output.h"
#include "exit_status.h"
#include "loader/image_check.h"
#include "progress_meter.h"

namespace bootshell::cli {

struct SessionResult {
  ExitStatus status = ExitStatus::Failed;
  std::string message;  // what went wrong, or a summary of what was written
};

class BootSession : public loader::LoaderEvents {
 public:
  // Interrupted is asked at every turn; true ends the run with ExitStatus::Interrupted.
  BootSession(CliOptions Options, ConsoleOutput& Out, std::function<bool()> Interrupted = {});
  ~BootSession() override;
  BootSession(const BootSession&) = delete;
  BootSession& operator=(const BootSession&) = delete;

  // Runs the whole session in the calling thread and returns how it ended. Once only.
  SessionResult Run();

  // For tests: the components as the loader drives them.
  boot::BootComponents& Components() { return session_.Components(); }

  // loader::LoaderEvents
  void OpenFailed(int Attempts) override;
  void PortOpened() override;
  void HandshakeAnswered(std::uint32_t Ms) override;
  void ImageLoaded(const std::string& Name, std::int64_t Size, std::int64_t Cycles) override;
  void BlockAcknowledged(std::int64_t Position, std::int64_t Cycle) override;
  void ImageWritten(const std::string& Name) override;
  void Answer(std::int32_t Tag, const std::string& Text) override;
  void ConnectionLost() override;
  void LoopError(const std::string& Message) override;

 private:
  // The operator's turn, after every serving of the loop's messages.
  void Operate();
  // Prints the answer lines queued so far.
  void FlushAnswers();
  SessionResult Outcome();
  std::string Failure(boot::TransferScript::TOutcome Outcome) const;
  std::string WaitingMessage() const;

  const CliOptions options_;
  ConsoleOutput& out_;
  std::optional<loader::ImageFacts> image_;
  ConsoleHost host_;
  boot::TransferScript script_;
  ProgressMeter meter_;
  std::int64_t progressMax_ = 0;
  std::vector<std::string> errors_;
  std::deque<std::string> answers_;  // under session_.HoldAnswers()
  boot::LoaderSession session_;      // destroyed first: closes the port, then lets go of it
};

}  // namespace bootshell::cli
