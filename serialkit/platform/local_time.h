#pragma once
// The wall-clock time in the user's time zone and the user's date and time formats.
#include <cstdint>
#include <ctime>
#include <string>

namespace sk::platform {

struct LocalTime {
  std::int64_t EpochSeconds = 0;  // whole seconds since 1970, for telling seconds apart
  std::tm Fields{};               // broken down in the local time zone
  int Millisecond = 0;            // 0..999
};

LocalTime LocalTimeNow();

// The date in the user's short date format (the locale's; ISO 8601 in the plain C locale,
// whose two-digit year reads ambiguously in a log).
std::string FormatShortDate(const LocalTime& Time);

// The time of day in the user's long time format, seconds included.
std::string FormatLongTime(const LocalTime& Time);

}  // namespace sk::platform
