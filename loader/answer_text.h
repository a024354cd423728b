#pragma once
// How a device answer appears in the answer log: its bytes as Latin-1 text with the begin
// marker replaced by "<" and then the end marker by ">", both found without regard to case.
#include <span>
#include <string>

#include "serialkit/core/bytes.h"

namespace bootshell::protocol {

// Received is the whole packet, markers included. The result is UTF-8.
std::string AnswerLogLine(std::span<const sk::Byte> Received, std::span<const sk::Byte> BeginMarker,
                          std::span<const sk::Byte> EndMarker);

}  // namespace bootshell::protocol
