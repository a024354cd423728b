#include "boot/port_name.h"

#include <charconv>
#include <string_view>

namespace bootshell::boot {

namespace {

std::optional<std::uint16_t> PortNumber(std::string_view Digits) {
  unsigned value = 0;
  const char* end = Digits.data() + Digits.size();
  auto [ptr, ec] = std::from_chars(Digits.data(), end, value);
  if (Digits.empty() || ec != std::errc() || ptr != end || value < 1 || value > 0xFFFF)
    return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

}  // namespace

std::string PortTarget::Name() const {
  return path.empty() ? "COM" + std::to_string(number) : path;
}

std::optional<PortTarget> ParsePortTarget(const std::string& Text, std::string& Error) {
  PortTarget target;
  if (!Text.empty() && Text.front() == '/') {
    target.path = Text;
    return target;
  }
  std::string_view digits = Text;
  if (digits.size() >= 3 && (digits[0] == 'C' || digits[0] == 'c') &&
      (digits[1] == 'O' || digits[1] == 'o') && (digits[2] == 'M' || digits[2] == 'm'))
    digits.remove_prefix(3);
  if (auto n = PortNumber(digits)) {
    target.number = *n;
    return target;
  }
  Error = "\"" + Text +
          "\" is no port: give COMn or n (1 to 65535) or a device path beginning "
          "with /";
  return std::nullopt;
}

}  // namespace bootshell::boot
