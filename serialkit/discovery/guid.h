#pragma once
// A class identifier in the system's 16-byte layout, and its registry text form
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sk::platform {

struct TGUID {
  std::uint32_t D1 = 0;
  std::uint16_t D2 = 0;
  std::uint16_t D3 = 0;
  std::array<std::uint8_t, 8> D4{};

  friend bool operator==(const TGUID&, const TGUID&) = default;
};

// Upper-case hexadecimal, with braces.
std::string GuidToString(const TGUID& Guid);
// Accepts the text form with braces, any letter case; nothing for anything else.
std::optional<TGUID> GuidFromString(std::string_view Text);

}  // namespace sk::platform
