#pragma once
// The loader loop: connects, greets the device's boot loader and writes firmware images to
// its flash in address/data cycles. It drives the port, is served by its host and reports to
// its events; "Connect", "Exit" and "Send" call Connect, Stop and Send, and the answer handler
// calls AnswerArrived.
#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "cipher/memory_stream.h"
#include "loader/boot_protocol.h"
#include "loader/loader_events.h"
#include "loader/loader_port.h"
#include "loader/loader_states.h"
#include "loader/tick_source.h"

namespace bootshell::loader {

// LastAnswerTag when no answer has come since the last handshake frame.
inline constexpr std::int32_t kNoAnswer = -1;

// Waiting. The handshake goes again after more than this many milliseconds without answer,
// and a failed open is retried after this long.
inline constexpr std::uint32_t kRetryMs = 100;
// A waiting turn blocks at most this long, so the panels keep showing the byte totals.
inline constexpr std::uint32_t kWaitingTurnMs = 100;

class FirmwareLoader {
 public:
  FirmwareLoader(LoaderPort& Port, LoaderHost& Host, LoaderEvents& Events,
                 TickSource& Ticks = SystemTicks());
  FirmwareLoader(const FirmwareLoader&) = delete;
  FirmwareLoader& operator=(const FirmwareLoader&) = delete;

  // "Connect": runs a loop until "Exit" or an error ends it. Called again while a loop runs
  // (from inside its message serving), it starts a new loop inside the running one.
  void Connect();
  // "Exit": asks every running loop to stop. Thread-safe.
  void Stop();
  // "Send": (re)starts a transfer of the image at Path.
  void Send(const std::string& Path);
  // The answer handler's first step: records the answer's tag and wakes the loop so that it
  // acts on it at once. Thread-safe; called from the thread that detects the answers.
  void AnswerArrived(std::int32_t Tag);

  // The shared loader variables.
  std::int32_t LoaderState() const { return loaderState_.load(); }
  std::int32_t LastAnswerTag() const { return lastAnswerTag_.load(); }
  bool StopRequested() const { return stopRequested_.load(); }
  const std::string& FirmwareFileName() const { return firmwareFileName_; }
  std::uint16_t FlashAddrLow() const { return flashAddrLow_; }
  std::uint16_t FlashAddrHigh() const { return flashAddrHigh_; }

 private:
  // Variables of one run of the loop.
  struct TLoaderRun {
    std::optional<cipher::MemoryStream> FirmwareImage;
    std::array<sk::Byte, protocol::kDataPayloadSize> BlockBuffer{};
    std::int32_t ConnectAttempts = 0;
    std::uint32_t ConnectTick = 0;
    std::uint32_t HandshakeTick = 0;
    std::int64_t Cycle = 0;           // of the block sent last
    std::int32_t ReportedState = -1;  // as StateChanged last gave it
  };
  // What a turn does after its step: serve the window at once, or wait for something.
  struct TTurnEnd {
    bool Waiting = false;
    std::uint32_t WaitMs = 0;
  };

  void ConnectPhase(TLoaderRun& Run);
  bool TryOpen();
  void Turns(TLoaderRun& Run);
  void ReportTurn(TLoaderRun& Run);
  TTurnEnd Step(TLoaderRun& Run);
  TTurnEnd LoadImage(TLoaderRun& Run);
  void SendAddress();
  void SendBlock(TLoaderRun& Run);
  void BlockAnswered(TLoaderRun& Run);
  void ImageWritten(TLoaderRun& Run);
  void SendHandshake(TLoaderRun& Run);
  TTurnEnd WaitHandshake(TLoaderRun& Run);
  void AdvanceFlashAddress();
  void ClosePort();
  std::string ShortFileName() const;

  LoaderPort& port_;
  LoaderHost& host_;
  LoaderEvents& events_;
  TickSource& ticks_;

  std::atomic<std::int32_t> loaderState_{0};
  std::atomic<std::int32_t> lastAnswerTag_{0};
  std::atomic<bool> stopRequested_{false};
  std::string firmwareFileName_;
  std::uint16_t flashAddrLow_ = 0;
  std::uint16_t flashAddrHigh_ = 0;
};

}  // namespace bootshell::loader
