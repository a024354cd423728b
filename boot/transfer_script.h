#pragma once
// The operator's script for one transfer, the same for every front end that runs one without a
// person: after "Connect" it presses "Send" once the device has answered the handshake, and
// "Exit" once the image is written, or when something has gone wrong: no open port or no
// handshake answer within the connect time, no acknowledgement within the answer time, the
// port closing itself, an interruption, or an error that ended the loop. It watches the
// session's events; the front end presses the buttons its own way (a session's entry points,
// a window's buttons); Tick, called from the loop's thread between turns (whenever the loop's
// messages are served), checks the time and presses them.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "loader/loader_events.h"

namespace bootshell::boot {

class TransferScript : public loader::LoaderEvents {
 public:
  using Clock = std::chrono::steady_clock;

  enum class TOutcome {
    Written,
    PortNotOpened,   // within the connect time
    NoHandshake,     // within the connect time
    MissingAnswer,   // within the answer time
    ImageVanished,   // the loader waited for the file longer than the answer time
    ConnectionLost,  // the port closed itself
    Interrupted,
    LoopError,  // the loop ended itself with an error
  };
  struct TButtons {
    std::function<void()> send;  // "Send" with the image
    std::function<void()> exit;  // "Exit"
  };
  struct TTimes {
    Clock::duration connect = std::chrono::seconds(10);
    Clock::duration answer = std::chrono::seconds(5);
  };

  TransferScript(TButtons Buttons, TTimes Times);

  // "Connect" is about to be pressed: the connect time starts.
  void Start();
  // The operator's turn: presses "Send" or "Exit" when due, checks the deadlines and
  // Interrupted (when set). Loop's thread, between turns.
  void Tick();
  void SetInterrupted(std::function<bool()> Interrupted) { interrupted_ = std::move(Interrupted); }

  // How it ended; nothing while it runs, or when the loop ended without its "Exit".
  const std::optional<TOutcome>& Outcome() const { return outcome_; }
  // The state the loader was in when the script pressed "Exit" (or the last one it saw).
  std::int32_t State() const { return state_; }
  bool PortOpened() const { return portOpened_; }
  bool HandshakeAnswered() const { return handshakeMs_.has_value(); }
  std::uint32_t HandshakeMs() const { return handshakeMs_.value_or(0); }
  int HandshakesSent() const { return handshakesSent_; }
  std::int64_t Cycles() const { return cycles_; }          // of the loaded image
  std::int64_t CyclesDone() const { return cyclesDone_; }  // acknowledged
  // The cycle whose answer the loader waits for in state 142 or 144.
  std::int64_t PendingCycle() const;
  // From Start to the last block's acknowledgement.
  Clock::duration Elapsed() const { return writtenAt_ - started_; }
  const std::string& Error() const { return error_; }

  // loader::LoaderEvents
  void PortOpened() override;
  void HandshakeAnswered(std::uint32_t Ms) override;
  void ImageLoaded(const std::string& Name, std::int64_t Size, std::int64_t Cycles) override;
  void BlockSent(std::int64_t Position, std::int64_t Cycle) override;
  void BlockAcknowledged(std::int64_t Position, std::int64_t Cycle) override;
  void ImageWritten(const std::string& Name) override;
  void StateChanged(std::int32_t State) override;
  void ConnectionLost() override;
  void LoopError(const std::string& Message) override;

 private:
  void Finish(TOutcome Outcome);

  const TButtons buttons_;
  const TTimes times_;
  std::function<bool()> interrupted_;
  std::optional<TOutcome> outcome_;
  std::atomic<bool> lost_{false};  // set on the port's worker
  Clock::time_point started_{}, stateSince_{}, writtenAt_{};
  std::int32_t state_ = 0;
  bool portOpened_ = false;
  bool sendPressed_ = false;
  bool written_ = false;
  std::optional<std::uint32_t> handshakeMs_;
  int handshakesSent_ = 0;
  std::int64_t cycles_ = 0, cycleSent_ = 0, cyclesDone_ = 0;
  std::string error_;
};

}  // namespace bootshell::boot
