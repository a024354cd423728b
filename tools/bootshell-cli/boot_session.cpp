#include "boot_session.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "loader/boot_protocol.h"
#include "loader/chunk_rule.h"
#include "loader/link_kind.h"
#include "loader/state_names.h"

namespace bootshell::cli {

namespace {

using namespace loader;
using TOutcome = boot::TransferScript::TOutcome;

std::string Hex32(std::uint32_t Value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", Value);
  return text;
}

std::string Seconds(double S) {
  char text[32];
  std::snprintf(text, sizeof text, "%g s", S);
  return text;
}

boot::TransferScript::Clock::duration Ms(double S) {
  return std::chrono::milliseconds(static_cast<std::int64_t>(S * 1000));
}

bool CanAppend(const std::string& Path) {
  std::ofstream probe(Path, std::ios::app | std::ios::binary);
  return static_cast<bool>(probe);
}

}  // namespace

BootSession::BootSession(CliOptions Options, ConsoleOutput& Out, std::function<bool()> Interrupted)
    : options_(std::move(Options)),
      out_(Out),
      host_(options_.linkKind),
      script_({[this] { session_.Send(options_.imagePath); }, [this] { session_.Stop(); }},
              {Ms(options_.connectTimeoutS), Ms(options_.answerTimeoutS)}),
      session_(host_, *this, options_.port.Name(), options_.logFile, !options_.quiet) {
  script_.SetInterrupted(std::move(Interrupted));
  session_.SetWatcher(&script_);
  host_.SetOperator([this] { Operate(); });
}

BootSession::~BootSession() = default;

SessionResult BootSession::Run() {
  std::string error;
  image_ = CheckImageFile(options_.imagePath, error);
  if (!image_) return {ExitStatus::BadImage, error};
  if (!options_.logFile.empty() && !CanAppend(options_.logFile))
    return {ExitStatus::Usage, "cannot write the log file \"" + options_.logFile + "\""};

  const auto baud = protocol::BaudRateForLinkKind(options_.linkKind).value_or(0);
  out_.Line("Opening " + options_.port.Name() + " for the " +
            std::string(protocol::kLinkKindNames.at(static_cast<std::size_t>(options_.linkKind))) +
            " link at " + std::to_string(baud) + " baud; image " +
            std::filesystem::path(options_.imagePath).filename().string() + ", " +
            std::to_string(image_->size) + " bytes, " + std::to_string(image_->cycles) +
            (image_->cycles == 1 ? " cycle" : " cycles"));
  script_.Start();
  session_.Connect();  // returns when the loop has ended and closed the port
  FlushAnswers();
  return Outcome();
}

void BootSession::Operate() {
  FlushAnswers();
  script_.Tick();
}

void BootSession::FlushAnswers() {
  auto hold = session_.HoldAnswers();
  for (const std::string& line : answers_) out_.Line(ForTerminal(line));
  answers_.clear();
}

void BootSession::OpenFailed(int Attempts) {
  if (Attempts == 1)
    out_.Line(session_.LastOpenError() + "; retrying for up to " +
              Seconds(options_.connectTimeoutS));
}

void BootSession::PortOpened() {
  out_.Line(options_.port.Name() + " is open; greeting the boot loader");
}

void BootSession::HandshakeAnswered(std::uint32_t Ms) {
  out_.Line("The boot loader answered the handshake after " + std::to_string(Ms) + " ms");
}

void BootSession::ImageLoaded(const std::string& Name, std::int64_t Size, std::int64_t) {
  progressMax_ = Size - protocol::kChunkSize;
  meter_.Start(progressMax_, ProgressMeter::Clock::now());
  BlockAcknowledged(0, 0);
  out_.Line("Loading file " + Name + " to Flash...");
}

void BootSession::BlockAcknowledged(std::int64_t Position, std::int64_t) {
  meter_.Update(std::clamp<std::int64_t>(Position, 0, progressMax_), ProgressMeter::Clock::now());
  out_.Progress(meter_);
}

void BootSession::ImageWritten(const std::string& Name) {
  out_.Line("File " + Name + " written");
}

void BootSession::Answer(std::int32_t, const std::string& Text) {
  answers_.push_back(Text);  // the session holds the lock while it tells
}

void BootSession::ConnectionLost() {
  host_.WakeUp();  // the script ends the run at its next turn
}

void BootSession::LoopError(const std::string& Message) {
  errors_.push_back(Message);
}

SessionResult BootSession::Outcome() {
  const auto& outcome = script_.Outcome();
  if (outcome == TOutcome::Written) {
    meter_.Complete(ProgressMeter::Clock::now());
    if (meter_.Started()) out_.Progress(meter_);
    out_.EndProgress();
    char summary[160];
    std::snprintf(summary, sizeof summary,
                  "Image written: %lld blocks of 1024 bytes to flash from %s in %.2f s",
                  static_cast<long long>(script_.CyclesDone()),
                  Hex32(protocol::FlashBaseAddress).c_str(),
                  std::chrono::duration<double>(script_.Elapsed()).count());
    return {ExitStatus::Written, summary};
  }
  out_.EndProgress();
  if (outcome == TOutcome::LoopError) {
    const ExitStatus status =
        script_.State() == lsLoadImage ? ExitStatus::BadImage : ExitStatus::Failed;
    return {status, script_.Error()};
  }
  if (!outcome) return {ExitStatus::Failed, "the loader stopped without a reason"};
  static constexpr std::pair<TOutcome, ExitStatus> kStatus[] = {
      {TOutcome::PortNotOpened, ExitStatus::PortNotOpened},
      {TOutcome::NoHandshake, ExitStatus::NoHandshake},
      {TOutcome::MissingAnswer, ExitStatus::MissingAnswer},
      {TOutcome::ImageVanished, ExitStatus::BadImage},
      {TOutcome::ConnectionLost, ExitStatus::ConnectionLost},
      {TOutcome::Interrupted, ExitStatus::Interrupted},
  };
  ExitStatus status = ExitStatus::Failed;
  for (const auto& [o, s] : kStatus)
    if (o == *outcome) status = s;
  return {status, Failure(*outcome)};
}

std::string BootSession::Failure(TOutcome Outcome) const {
  const std::string port = options_.port.Name();
  const std::string state = LoaderStateText(script_.State());
  switch (Outcome) {
    case TOutcome::PortNotOpened:
      return port + " did not open within " + Seconds(options_.connectTimeoutS) + ": " +
             (session_.LastOpenError().empty() ? std::string("no attempt succeeded")
                                               : session_.LastOpenError());
    case TOutcome::NoHandshake:
      return "the device on " + port + " did not answer the handshake within " +
             Seconds(options_.connectTimeoutS) + " (" + std::to_string(script_.HandshakesSent()) +
             " handshake frames sent)";
    case TOutcome::MissingAnswer:
      return WaitingMessage();
    case TOutcome::ImageVanished:
      return "the image \"" + options_.imagePath + "\" disappeared before it was loaded";
    case TOutcome::ConnectionLost:
      return "the connection on " + port + " was lost (the port closed itself) in state " + state +
             ", after " + std::to_string(script_.CyclesDone()) + " of " +
             std::to_string(image_->cycles) + " cycles";
    case TOutcome::Interrupted:
      return "interrupted in state " + state;
    default:
      return script_.Error();
  }
}

std::string BootSession::WaitingMessage() const {
  const bool address = script_.State() == lsWaitAddressAnswer;
  const std::int64_t cycle = script_.PendingCycle();
  const auto block =
      static_cast<std::uint32_t>(protocol::FlashBaseAddress + (cycle - 1) * protocol::kChunkSize);
  return "no acknowledgement within " + Seconds(options_.answerTimeoutS) +
         ": the loader waited in state " + LoaderStateText(script_.State()) +
         " for the answer with tag " +
         std::to_string(address ? protocol::tagAddressAccepted : protocol::tagDataWritten) +
         " to the " + (address ? "address" : "data") + " frame for " + Hex32(block) + " (cycle " +
         std::to_string(cycle) + " of " + std::to_string(image_->cycles) + ")";
}

}  // namespace bootshell::cli
