#include "serialkit/platform/local_time.h"

#include <langinfo.h>
#include <locale.h>

#include <array>
#include <cstring>

namespace sk::platform {

namespace {

// The user's LC_TIME formats, read once: the environment's locale does not change under a
// running program.
class TimeFormats {
 public:
  TimeFormats() {
    locale_ = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    if (locale_ == static_cast<locale_t>(nullptr))
      locale_ = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
    const char* date = nl_langinfo_l(D_FMT, locale_);
    const char* time = nl_langinfo_l(T_FMT, locale_);
    date_ = (date == nullptr || *date == '\0' || std::strcmp(date, "%m/%d/%y") == 0) ? "%Y-%m-%d"
                                                                                     : date;
    time_ = (time == nullptr || *time == '\0') ? "%H:%M:%S" : time;
  }
  ~TimeFormats() {
    if (locale_ != static_cast<locale_t>(nullptr)) freelocale(locale_);
  }
  TimeFormats(const TimeFormats&) = delete;
  TimeFormats& operator=(const TimeFormats&) = delete;

  std::string Format(const std::string& Pattern, const std::tm& Fields) const {
    std::array<char, 256> out{};
    std::size_t n = strftime_l(out.data(), out.size(), Pattern.c_str(), &Fields, locale_);
    return std::string(out.data(), n);
  }
  const std::string& Date() const { return date_; }
  const std::string& Time() const { return time_; }

 private:
  locale_t locale_{};
  std::string date_;
  std::string time_;
};

const TimeFormats& Formats() {
  static const TimeFormats formats;
  return formats;
}

}  // namespace

LocalTime LocalTimeNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  LocalTime result;
  result.EpochSeconds = now.tv_sec;
  result.Millisecond = static_cast<int>(now.tv_nsec / 1000000);
  time_t seconds = now.tv_sec;
  localtime_r(&seconds, &result.Fields);
  return result;
}

std::string FormatShortDate(const LocalTime& Time) {
  return Formats().Format(Formats().Date(), Time.Fields);
}

std::string FormatLongTime(const LocalTime& Time) {
  return Formats().Format(Formats().Time(), Time.Fields);
}

}  // namespace sk::platform
