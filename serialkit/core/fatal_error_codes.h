#pragma once
// Codes of the components' fatal-error path: a device that cannot be opened, configured or
// saved, and an exception escaping a user's handler inside a data processor (with its detail).
#include <cstdint>

namespace sk {

inline constexpr std::uint32_t kFatalDeviceError = 1;
inline constexpr std::uint32_t kFatalHandlerError = 15;
inline constexpr std::uint32_t kFatalHandlerDetail = 1;

}  // namespace sk
