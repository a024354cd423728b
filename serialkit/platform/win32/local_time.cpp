#include "serialkit/platform/local_time.h"

#include <windows.h>

#include <array>

#include "serialkit/platform/win32/utf16.h"

namespace sk::platform {

namespace {

// 100-ns intervals between 1601-01-01 (FILETIME's start) and 1970-01-01.
constexpr std::uint64_t kEpochOffset = 116444736000000000ULL;

SYSTEMTIME ToSystemTime(const std::tm& Fields) {
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(Fields.tm_year + 1900);
  t.wMonth = static_cast<WORD>(Fields.tm_mon + 1);
  t.wDayOfWeek = static_cast<WORD>(Fields.tm_wday);
  t.wDay = static_cast<WORD>(Fields.tm_mday);
  t.wHour = static_cast<WORD>(Fields.tm_hour);
  t.wMinute = static_cast<WORD>(Fields.tm_min);
  t.wSecond = static_cast<WORD>(Fields.tm_sec);
  return t;
}

}  // namespace

LocalTime LocalTimeNow() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  const std::uint64_t ticks =
      ((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime) - kEpochOffset;
  LocalTime result;
  result.EpochSeconds = static_cast<std::int64_t>(ticks / 10000000);
  result.Millisecond = static_cast<int>(ticks / 10000 % 1000);
  const std::time_t seconds = static_cast<std::time_t>(result.EpochSeconds);
  localtime_s(&result.Fields, &seconds);
  return result;
}

std::string FormatShortDate(const LocalTime& Time) {
  const SYSTEMTIME t = ToSystemTime(Time.Fields);
  std::array<wchar_t, 128> out{};
  const int n = ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &t, nullptr, out.data(),
                                  static_cast<int>(out.size()), nullptr);
  return n > 0 ? win32::FromUtf16(std::wstring_view(out.data(), static_cast<std::size_t>(n - 1)))
               : std::string();
}

std::string FormatLongTime(const LocalTime& Time) {
  const SYSTEMTIME t = ToSystemTime(Time.Fields);
  std::array<wchar_t, 128> out{};
  const int n = ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &t, nullptr, out.data(),
                                  static_cast<int>(out.size()));
  return n > 0 ? win32::FromUtf16(std::wstring_view(out.data(), static_cast<std::size_t>(n - 1)))
               : std::string();
}

}  // namespace sk::platform
