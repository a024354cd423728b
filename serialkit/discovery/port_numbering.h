#pragma once
// The rule that gives the machine's serial ttys their port numbers: ttyS k -> COM(k+1),
// ttyUSB k -> COM(33+k), ttyACM k -> COM(65+k), rfcomm k -> COM(97+k), any other kind
// COM(129+i), i counting those others in the order of kind and number. Shared by the port map
// and the setup-device enumeration, so that both name a tty alike.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sk::platform {

struct TtyKind {
  std::string Kind;                     // "ttyUSB"
  std::optional<std::uint32_t> Number;  // 12; none without a trailing number
};
// "ttyUSB12" -> {"ttyUSB", 12}.
TtyKind SplitTtyName(const std::string& Name);

struct NumberedTty {
  std::string Name;  // "ttyUSB0"
  std::uint32_t PortNo = 0;
};
// Numbers the ttys Names (names without a trailing number are left out), by port number.
std::vector<NumberedTty> NumberSerialTtys(const std::vector<std::string>& Names);

std::string ComPortName(std::uint32_t PortNo);

}  // namespace sk::platform
