#pragma once
// When bytes pass a serial line of a given rate (8N2: 11 bits a byte), and in which pieces an
// answer is written so that the host never gets a byte sooner than the line would bring it.
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
// left the line; paced pieces hold at least about 200 us of bytes so that the writes stay few.
std::vector<WritePiece> PlanWrite(std::size_t Count, const WritePlan& Plan);

// How long Count bytes occupy the line, splitting gaps included.
Nanos LineTime(std::size_t Count, const WritePlan& Plan);

}  // namespace zr48sim
