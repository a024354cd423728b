#pragma once
#include <cstdint>

namespace sk::platform {

// A system handle as shared headers carry it: a file descriptor on POSIX systems, a HANDLE on
// Windows. -1 is none on both (INVALID_HANDLE_VALUE is -1 as well).
using NativeHandle = std::intptr_t;
inline constexpr NativeHandle kNoNativeHandle = -1;

}  // namespace sk::platform
