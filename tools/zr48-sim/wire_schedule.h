#pragma once
// When bytes pass a serial line of a given rate (8N2: 11 bits a byte), and in which pieces an
// answer is written so that the host never gets a byte sooner than the line would bring it.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zr48sim {

using Nanos = std::chrono::nanoseconds;

inline constexpr unsigned kBitsPerByte = 11;  // start, 8 data, 2 stop

// Time one byte takes on the line; zero for an unpaced line (Baud 0).
Nanos ByteTime(std::uint32_t Baud);

struct WritePiece {
  std::size_t offset = 0;
  std::size_t length = 0;
  Nanos at{0};  // after the start of the answer
};

struct WritePlan {
  std::uint32_t baud = 0;     // 0: as fast as the pseudo-terminal takes it
  std::size_t splitSize = 0;  // 0: no splitting; else pieces of at most this many bytes
  Nanos splitGap{0};          // pause between split pieces
};

// The pieces Count bytes go out in. A paced piece is written when its last byte would have
// left the line; paced pieces hold up to 1 ms of bytes (what a USB serial adapter hands over
// per frame), so that a short answer is one write and one wake-up, never ahead of the line.
std::vector<WritePiece> PlanWrite(std::size_t Count, const WritePlan& Plan);

// How long Count bytes occupy the line, splitting gaps included.
Nanos LineTime(std::size_t Count, const WritePlan& Plan);

// One direction of the line as a clock of its own, in absolute times (nanoseconds of the
// monotonic clock). Bytes follow each other back to back: a byte occupies the line for its
// byte time from its arrival or from the end of the byte before it, whichever is later. Timing
// against this clock rather than against when the simulator happens to wake keeps the
// simulator's own latency out of the line, and never makes the line faster than its rate.
class LineClock {
 public:
  // When Count bytes that are there at At start to occupy the line, taking Duration together
  // (Count byte times for a plain run of bytes); the line is then busy until Start + Duration.
  Nanos Occupy(Nanos At, Nanos Duration) {
    const Nanos start = std::max(At, busyUntil_);
    busyUntil_ = start + Duration;
    return start;
  }
  Nanos BusyUntil() const { return busyUntil_; }
  void Reset(Nanos At) { busyUntil_ = At; }

 private:
  Nanos busyUntil_{0};
};

// When the byte with index Index of a run that started at Start has finished passing.
inline Nanos ByteEnd(Nanos Start, std::size_t Index, Nanos Byte) {
  return Start + Byte * static_cast<std::int64_t>(Index + 1);
}

}  // namespace zr48sim
