#pragma once
// The kinds of link the operator picks from; they differ only in baud rate.
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "loader/boot_protocol.h"

namespace bootshell::protocol {

// Item indexes of the link-kind radio group.
enum TLinkKind : int { lkUart = 0, lkBluetooth = 1, lkWifi = 2 };

inline constexpr std::array<std::string_view, 3> kLinkKindNames{"UART", "Bluetooth", "WiFi"};

// The baud rate of a link kind; none for an index that names no kind (the rate then stays).
constexpr std::optional<std::uint32_t> BaudRateForLinkKind(int ItemIndex) {
  switch (ItemIndex) {
    case lkUart:
      return kBaudUart;
    case lkBluetooth:
      return kBaudBluetooth;
    case lkWifi:
      return kBaudWifi;
    default:
      return std::nullopt;
  }
}

}  // namespace bootshell::protocol
