#pragma once
// The CPU time this process has used so far, user and system, in seconds.
#include <windows.h>

#include <cstdint>

inline double ProcessCpuSeconds() {
  FILETIME created, exited, kernel, user;
  ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
  const auto ticks = [](const FILETIME& T) {
    return (static_cast<std::uint64_t>(T.dwHighDateTime) << 32) | T.dwLowDateTime;
  };
  return static_cast<double>(ticks(kernel) + ticks(user)) * 1e-7;
}
