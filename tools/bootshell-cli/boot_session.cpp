#include "boot_session.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "boot/state_names.h"
#include "loader/boot_protocol.h"
#include "loader/chunk_rule.h"
#include "loader/link_kind.h"

namespace bootshell::cli {

namespace {

using namespace loader;

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

std::chrono::milliseconds Ms(double S) {
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
      interrupted_(std::move(Interrupted)),
      components_(options_.port.Name(), options_.logFile),
      window_(Out, options_.linkKind),
      port_(components_.Comm()),
      loader_(port_, window_),
      hookup_(components_, loader_, AnswerHandler(), [this] { window_.WakeUp(); }) {
  window_.SetOperator([this] { Operate(); });
}

BootSession::~BootSession() = default;

boot::LoaderHookup::AnswerHandler BootSession::AnswerHandler() {
  if (options_.quiet) return {};
  return [this](const std::function<void()>& StoreTag, std::string Line) {
    window_.AnswerArrived(StoreTag, std::move(Line));
  };
}

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
  started_ = stateSince_ = Clock::now();
  lastState_ = loader_.LoaderState();
  loader_.Button8Click();  // "Connect": returns when the loop has ended and closed the port
  window_.FlushAnswers();
  return Outcome();
}

SessionResult BootSession::Outcome() {
  if (result_) {
    if (result_->status == ExitStatus::Written) {
      window_.Progress().Complete(Clock::now());
      if (window_.Progress().Started()) out_.Progress(window_.Progress());
    }
    out_.EndProgress();
    return *result_;
  }
  out_.EndProgress();
  // The loop ended on its own: an error it reported.
  if (!window_.Errors().empty()) {
    const ExitStatus status = lastState_ == lsLoadImage ? ExitStatus::BadImage : ExitStatus::Failed;
    return {status, window_.Errors().front()};
  }
  return {ExitStatus::Failed, "the loader stopped without a reason"};
}

void BootSession::Operate() {
  if (result_) return;  // "Exit" is pressed; the loop is on its way out
  const auto now = Clock::now();
  if (interrupted_ && interrupted_())
    return Finish(ExitStatus::Interrupted,
                  "interrupted in state " + StateText(loader_.LoaderState()));
  if (hookup_.Lost())
    return Finish(ExitStatus::ConnectionLost, "the connection on " + options_.port.Name() +
                                                  " was lost (the port closed itself) in state " +
                                                  StateText(loader_.LoaderState()) + ", after " +
                                                  std::to_string(cyclesDone_) + " of " +
                                                  std::to_string(image_->cycles) + " cycles");
  if (!reportedOpenFailure_ && port_.FailedOpens() > 0) {
    reportedOpenFailure_ = true;
    out_.Line(port_.LastOpenError() + "; retrying for up to " + Seconds(options_.connectTimeoutS));
  }
  const std::int32_t state = loader_.LoaderState();
  if (state != lastState_) {
    const std::int32_t previous = lastState_;
    lastState_ = state;
    stateSince_ = now;
    StateEntered(state, previous);
    if (result_) return;
  }
  CheckDeadlines(lastState_, now);
}

void BootSession::StateEntered(std::int32_t State, std::int32_t Previous) {
  switch (State) {
    case lsSendHandshake:
      if (!portOpened_ && window_.Image1Visible()) {
        portOpened_ = true;
        out_.Line(options_.port.Name() + " is open; greeting the boot loader");
      }
      break;
    case lsWaitHandshake:
      ++handshakesSent_;
      break;
    case lsSendAddress:
    case lsImageWritten:
      if (Previous == lsWaitBlockAnswer) ++cyclesDone_;
      break;
    case lsIdle:
      if (!handshakeAnswered_) {
        handshakeAnswered_ = true;
        out_.Line("The boot loader answered the handshake after " + window_.Panel(2) + " ms");
      }
      if (!sendPressed_) {
        sendPressed_ = true;
        loader_.BitBtn2Click(options_.imagePath);  // "Send"
        lastState_ = loader_.LoaderState();
      } else if (Previous == lsImageWritten) {
        const double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
        char summary[160];
        std::snprintf(summary, sizeof summary,
                      "Image written: %lld blocks of 1024 bytes to flash from %s in %.2f s",
                      static_cast<long long>(cyclesDone_),
                      Hex32(protocol::FlashBaseAddress).c_str(), seconds);
        Finish(ExitStatus::Written, summary);
      }
      break;
    default:
      break;
  }
}

void BootSession::CheckDeadlines(std::int32_t State, Clock::time_point Now) {
  if (!handshakeAnswered_ && Now - started_ > Ms(options_.connectTimeoutS)) {
    if (!portOpened_)
      return Finish(ExitStatus::PortNotOpened,
                    options_.port.Name() + " did not open within " +
                        Seconds(options_.connectTimeoutS) + ": " +
                        (port_.LastOpenError().empty() ? std::string("no attempt succeeded")
                                                       : port_.LastOpenError()));
    return Finish(ExitStatus::NoHandshake,
                  "the device on " + options_.port.Name() +
                      " did not answer the handshake within " + Seconds(options_.connectTimeoutS) +
                      " (" + std::to_string(handshakesSent_) + " handshake frames sent)");
  }
  const bool waiting = State == lsWaitAddressAnswer || State == lsWaitBlockAnswer;
  if (waiting && Now - stateSince_ > Ms(options_.answerTimeoutS))
    return Finish(ExitStatus::MissingAnswer, WaitingMessage(State));
  // The file was checked before connecting; the loader waits for it while it is missing.
  if (State == lsLoadImage && Now - stateSince_ > Ms(options_.answerTimeoutS))
    return Finish(ExitStatus::BadImage,
                  "the image \"" + options_.imagePath + "\" disappeared before it was loaded");
}

std::string BootSession::WaitingMessage(std::int32_t State) const {
  const std::uint32_t next = std::uint32_t(loader_.FlashAddrHigh()) << 16 | loader_.FlashAddrLow();
  // The address advances past the whole chunk as soon as its data frame is sent.
  const std::uint32_t block =
      State == lsWaitBlockAnswer ? next - std::uint32_t(protocol::kChunkSize) : next;
  const std::int64_t cycle = (block - protocol::FlashBaseAddress) / protocol::kChunkSize + 1;
  const bool address = State == lsWaitAddressAnswer;
  return "no acknowledgement within " + Seconds(options_.answerTimeoutS) +
         ": the loader waited in state " + StateText(State) + " for the answer with tag " +
         std::to_string(address ? protocol::tagAddressAccepted : protocol::tagDataWritten) +
         " to the " + (address ? "address" : "data") + " frame for " + Hex32(block) + " (cycle " +
         std::to_string(cycle) + " of " + std::to_string(image_->cycles) + ")";
}

std::string BootSession::StateText(std::int32_t State) const {
  return boot::LoaderStateText(State);
}

void BootSession::Finish(ExitStatus Status, std::string Message) {
  result_ = SessionResult{Status, std::move(Message)};
  hookup_.ExpectClose();
  loader_.Button2Click();  // "Exit"
}

}  // namespace bootshell::cli
