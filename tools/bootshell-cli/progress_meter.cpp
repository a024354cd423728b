#include "progress_meter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace bootshell::cli {

void ProgressMeter::Start(std::int64_t Maximum, Clock::time_point Now) {
  started_ = true;
  complete_ = false;
  maximum_ = std::max<std::int64_t>(Maximum, 0);
  position_ = 0;
  start_ = last_ = Now;
  lastTenth_ = -1;
}

void ProgressMeter::Update(std::int64_t Position, Clock::time_point Now) {
  position_ = std::clamp<std::int64_t>(Position, 0, maximum_);
  last_ = Now;
}

void ProgressMeter::Complete(Clock::time_point Now) {
  position_ = maximum_;
  last_ = Now;
  complete_ = true;
}

int ProgressMeter::Percent() const {
  if (maximum_ == 0) return complete_ ? 100 : 0;
  return static_cast<int>(position_ * 100 / maximum_);
}

double ProgressMeter::Rate() const {
  const double seconds = std::chrono::duration<double>(last_ - start_).count();
  if (seconds <= 0 || position_ == 0) return 0;
  return static_cast<double>(position_) / seconds;
}

std::optional<double> ProgressMeter::SecondsLeft() const {
  const double rate = Rate();
  if (rate <= 0) return std::nullopt;
  return static_cast<double>(maximum_ - position_) / rate;
}

std::string ProgressMeter::BarLine(int BarWidth) const {
  BarWidth = std::max(BarWidth, 1);
  const int filled = static_cast<int>(Percent() * BarWidth / 100);
  std::string line = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                     std::string(static_cast<std::size_t>(BarWidth - filled), '-') + "] ";
  char percent[8];
  std::snprintf(percent, sizeof percent, "%3d%%", Percent());
  line += percent;
  line += "  " + std::to_string(position_) + "/" + std::to_string(maximum_) + " bytes";
  if (const double rate = Rate(); rate > 0) line += "  " + FormatRate(rate);
  if (auto left = SecondsLeft()) line += "  " + FormatDuration(*left) + " left";
  return line;
}

std::string ProgressMeter::PlainLine() const {
  std::string line = "progress " + std::to_string(Percent()) + "% (" + std::to_string(position_) +
                     " of " + std::to_string(maximum_) + " bytes";
  if (const double rate = Rate(); rate > 0) line += ", " + FormatRate(rate);
  return line + ")";
}

std::optional<int> ProgressMeter::NextTenth() {
  const int tenth = Percent() / 10;
  if (tenth <= lastTenth_) return std::nullopt;
  lastTenth_ = tenth;
  return tenth;
}

std::string FormatRate(double BytesPerSecond) {
  char text[32];
  if (BytesPerSecond < 1024)
    std::snprintf(text, sizeof text, "%.0f B/s", BytesPerSecond);
  else if (BytesPerSecond < 1024.0 * 1024)
    std::snprintf(text, sizeof text, "%.1f KiB/s", BytesPerSecond / 1024);
  else
    std::snprintf(text, sizeof text, "%.2f MiB/s", BytesPerSecond / (1024.0 * 1024));
  return text;
}

std::string FormatDuration(double Seconds) {
  const long long total = std::llround(std::max(Seconds, 0.0));
  const long long h = total / 3600, m = total / 60 % 60, s = total % 60;
  char text[32];
  if (h > 0)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", h, m, s);
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", m, s);
  return text;
}

}  // namespace bootshell::cli
