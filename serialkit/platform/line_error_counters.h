#pragma once
// The line-error counters a driver keeps (frame, overrun, parity, break, buffer overrun) and
// the baseline a clear compares them with: a counter that moved since the baseline is an
// error. Counters are never reset by the driver, so one left non-zero by an earlier user
// of the port is no error of this one: the baseline is taken when the port opens.
#include <cstdint>

#include "serialkit/platform/serial_records.h"

namespace sk::platform {

struct TLineCounters {
  std::uint32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
};

class TLineErrorBaseline {
 public:
  void Take(const TLineCounters& Now) { base_ = Now; }
  // The CE_ flags of the counters that moved since the baseline; Now becomes the baseline.
  std::uint32_t Clear(const TLineCounters& Now) {
    std::uint32_t e = 0;
    if (Now.frame != base_.frame) e |= CE_FRAME;
    if (Now.overrun != base_.overrun) e |= CE_OVERRUN;
    if (Now.parity != base_.parity) e |= CE_RXPARITY;
    if (Now.brk != base_.brk) e |= CE_BREAK;
    if (Now.bufOverrun != base_.bufOverrun) e |= CE_RXOVER;
    base_ = Now;
    return e;
  }

 private:
  TLineCounters base_;
};

}  // namespace sk::platform
