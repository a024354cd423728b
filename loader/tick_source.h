#pragma once
// The millisecond tick count the loop times itself by, replaceable so that tests set the time.
#include <cstdint>

namespace bootshell::loader {

class TickSource {
 public:
  virtual ~TickSource() = default;
  // Milliseconds, wrapping at 2^32; only differences modulo 2^32 count.
  virtual std::uint32_t Now() = 0;
  // Lets at least Ms milliseconds of this clock pass without serving the window.
  virtual void Sleep(std::uint32_t Ms) = 0;
};

// The system's uptime counter.
TickSource& SystemTicks();

}  // namespace bootshell::loader
