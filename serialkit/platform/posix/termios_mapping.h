#pragma once
// The line settings of a DCB as termios flags and back. Speed is not part of it: rates that
// termios has no constant for need termios2 (custom_baud.h).
#include <termios.h>

#include <cstdint>
#include <optional>

#include "serialkit/platform/serial_records.h"

namespace sk::platform::posix {

// Puts Dcb's character size, parity, stop bits, flow control and XON/XOFF characters into T
// in raw mode, keeping T's speed. False, with T unchanged, for values the line cannot have
// (a size outside 5 to 8, an unknown parity or stop-bit value).
bool ApplyDcb(const DCB& Dcb, termios& T);

// Updates the members of Dcb that termios holds; the rest of Dcb stays as it is.
void ReadDcb(const termios& T, DCB& Dcb);

// The termios constant for a standard rate; other rates need termios2.
std::optional<speed_t> StandardSpeed(std::uint32_t Baud);

// Whether the device took the parts of Wanted that a driver may refuse (size, parity, stop
// bits); Actual is what it reports after the change.
bool SameFraming(const termios& Wanted, const termios& Actual);

}  // namespace sk::platform::posix
