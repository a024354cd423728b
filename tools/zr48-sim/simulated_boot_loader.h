#pragma once
// A ZR48 boot loader as the host sees it over the line: it takes frames, checks them, stores
// data blocks in its flash and answers in text packets between markers. The transport (the
// pseudo-terminal, pacing, noise) lives elsewhere; this class only decides what to answer.
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "flash_store.h"
#include "frame_parser.h"

namespace zr48sim {

struct Answer {
  std::int32_t tag = 0;
  std::string text;  // between the markers
  // Begin marker, text, end marker.
  std::vector<std::uint8_t> Bytes() const;
};

struct SimOptions {
  std::set<unsigned> dropAnswers;  // numbers (from 1) of answers to frames left unsent
  std::uint32_t flashDelayMs = 0;  // time a data block takes to write
  unsigned hangupAfterFrames = 0;  // 0: never; else the line goes dead on that frame
  bool mute = false;               // takes frames but answers nothing, not even the greeting
  std::uint32_t flashSize = 16u << 20;
};

// What the device does on one completed frame.
struct SimEvent {
  std::size_t afterByte = 0;     // index, in the received chunk, of the frame's last byte
  std::optional<Answer> answer;  // nothing when the answer is dropped or the line dies
  std::uint32_t delayMs = 0;     // before the answer goes out
  bool hangup = false;           // the line goes dead now
};

class SimulatedBootLoader {
 public:
  using LogLine = std::function<void(const std::string&)>;

  // Log receives one line per frame, answer and line event; see the program's help text.
  SimulatedBootLoader(SimOptions Options, LogLine Log);

  // The Info answer the device announces itself with when a host connects.
  Answer Greeting();
  // Takes received bytes; returns what to do for each frame they complete, in order.
  std::vector<SimEvent> Receive(const std::uint8_t* Data, std::size_t Count);
  // The host has been silent in the middle of a frame for too long: the frame is dropped.
  void FrameTimedOut();
  // The host closed the line: an unfinished frame is dropped and the address forgotten.
  void Disconnected();

  bool HasPartialFrame() const { return parser_.Pending() > 0; }
  bool HungUp() const { return hungUp_; }
  bool Mute() const { return options_.mute; }
  unsigned FramesReceived() const { return frames_; }
  const FlashStore& Flash() const { return flash_; }

 private:
  std::optional<Answer> Handle(const Frame& F);
  Answer Error(const std::string& Text);
  void LogSkipped();

  SimOptions options_;
  LogLine log_;
  FrameParser parser_;
  FlashStore flash_;
  std::optional<std::uint32_t> address_;  // accepted, awaiting its data frame
  unsigned frames_ = 0;
  unsigned answers_ = 0;
  bool hungUp_ = false;
};

}  // namespace zr48sim
