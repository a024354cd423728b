#pragma once
#include <string_view>

namespace bootshell {

// The key string every firmware image is encrypted under.
inline constexpr std::string_view FirmwareKey = "rpmTazhK3WQRVBJ%";

}  // namespace bootshell
