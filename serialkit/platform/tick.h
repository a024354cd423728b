#pragma once
#include <cstdint>

namespace sk::platform {

// Milliseconds since an arbitrary start, wrapping at 2^32 like the system uptime counter.
// Differences are taken modulo 2^32, so the wrap does no harm.
std::uint32_t GetTickCount();

}  // namespace sk::platform
