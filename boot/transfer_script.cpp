#include "boot/transfer_script.h"

#include "loader/loader_states.h"

namespace bootshell::boot {

using namespace loader;

TransferScript::TransferScript(TButtons Buttons, TTimes Times)
    : buttons_(std::move(Buttons)), times_(Times) {}

void TransferScript::Start() {
  started_ = stateSince_ = Clock::now();
}

void TransferScript::Tick() {
  if (outcome_) return;  // "Exit" is pressed; the loop is on its way out
  if (interrupted_ && interrupted_()) return Finish(TOutcome::Interrupted);
  if (lost_.load()) return Finish(TOutcome::ConnectionLost);
  // The buttons are pressed here, between the loop's turns, as a person's hands would.
  if (state_ == lsIdle && !sendPressed_) {
    sendPressed_ = true;
    return buttons_.send();
  }
  if (state_ == lsIdle && written_) return Finish(TOutcome::Written);
  const auto now = Clock::now();
  if (!handshakeMs_ && now - started_ > times_.connect)
    return Finish(portOpened_ ? TOutcome::NoHandshake : TOutcome::PortNotOpened);
  const bool waiting = state_ == lsWaitAddressAnswer || state_ == lsWaitBlockAnswer;
  if (waiting && now - stateSince_ > times_.answer) return Finish(TOutcome::MissingAnswer);
  // A file checked before connecting that the loader does not find: it would wait for ever.
  if (state_ == lsLoadImage && now - stateSince_ > times_.answer)
    return Finish(TOutcome::ImageVanished);
}

std::int64_t TransferScript::PendingCycle() const {
  return state_ == lsWaitBlockAnswer ? cycleSent_ : cyclesDone_ + 1;
}

void TransferScript::PortOpened() {
  portOpened_ = true;
}

void TransferScript::HandshakeAnswered(std::uint32_t Ms) {
  handshakeMs_ = Ms;
}

void TransferScript::ImageLoaded(const std::string&, std::int64_t, std::int64_t Cycles) {
  cycles_ = Cycles;
  cycleSent_ = cyclesDone_ = 0;
}

void TransferScript::BlockSent(std::int64_t, std::int64_t Cycle) {
  cycleSent_ = Cycle;
}

void TransferScript::BlockAcknowledged(std::int64_t, std::int64_t Cycle) {
  cyclesDone_ = Cycle;
}

void TransferScript::ImageWritten(const std::string&) {
  written_ = true;
  writtenAt_ = Clock::now();
}

void TransferScript::StateChanged(std::int32_t State) {
  state_ = State;
  stateSince_ = Clock::now();
  if (State == lsWaitHandshake) ++handshakesSent_;
}

void TransferScript::ConnectionLost() {
  lost_ = true;
}

void TransferScript::LoopError(const std::string& Message) {
  error_ = Message;
  outcome_ = TOutcome::LoopError;
}

void TransferScript::Finish(TOutcome Outcome) {
  outcome_ = Outcome;
  buttons_.exit();
}

}  // namespace bootshell::boot
