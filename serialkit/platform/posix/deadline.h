#pragma once
// Deadlines from the device's millisecond time-outs. A per-byte multiplier times a large count
// can reach past the end of the clock; such a deadline saturates at the clock's end, which
// waits as long as no time-out does, rather than wrapping into the past.
#include <chrono>
#include <cstdint>

namespace sk::platform::posix {

inline std::chrono::steady_clock::time_point DeadlineAfter(
    std::chrono::steady_clock::time_point Start, std::uint64_t Ms) {
  using std::chrono::milliseconds;
  using Clock = std::chrono::steady_clock;
  const auto room =
      std::chrono::duration_cast<milliseconds>(Clock::time_point::max() - Start).count();
  if (room <= 0 || Ms >= static_cast<std::uint64_t>(room)) return Clock::time_point::max();
  return Start + milliseconds(static_cast<milliseconds::rep>(Ms));
}

// Multiplier ms per byte for Count bytes plus Constant ms, without overflow.
inline std::uint64_t TotalTimeoutMs(std::uint32_t Multiplier, std::uint64_t Count,
                                    std::uint32_t Constant) {
  const std::uint64_t limit = UINT64_MAX - Constant;
  if (Multiplier != 0 && Count > limit / Multiplier) return UINT64_MAX;
  return Multiplier * Count + Constant;
}

}  // namespace sk::platform::posix
