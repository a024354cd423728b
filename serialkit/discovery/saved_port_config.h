#pragma once
// The saved port configuration: one 49-byte binary registry value holding the port number and
// the line settings record (DCB) of a serial port.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "serialkit/platform/serial_records.h"

namespace sk {

struct SavedPortConfig {
  static constexpr std::size_t kSize = 49;
  static constexpr std::size_t kPortNoOffset = 0;
  static constexpr std::size_t kDcbOffset = 2;
  // Bytes 30 to 48 have no meaning; they are written as zero and never read. The port's
  // time-outs are not kept: the value has no room for them and stays 49 bytes long.

  // The port number's low 8 bits (a 16-bit field whose high byte is always 0).
  std::uint8_t PortNo = 0;
  DCB Dcb{};

  // Ports above 255 keep only their low 8 bits.
  static SavedPortConfig From(std::uint16_t ComPortNo, const DCB& Dcb);
  std::array<std::uint8_t, kSize> Encode() const;
  // Nothing unless Value is exactly kSize bytes long.
  static std::optional<SavedPortConfig> Decode(std::span<const std::uint8_t> Value);
};

}  // namespace sk
