#pragma once
// Progress of an image transfer as the loader reports it (a range and a position in image
// bytes), with the rate and the time left, and its rendering as a bar or as plain lines.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace bootshell::cli {

class ProgressMeter {
 public:
  using Clock = std::chrono::steady_clock;

  // A new transfer over 0..Maximum, starting now.
  void Start(std::int64_t Maximum, Clock::time_point Now);
  void Update(std::int64_t Position, Clock::time_point Now);
  // The image is written: all of the range is done (an image of one chunk has an empty one).
  void Complete(Clock::time_point Now);
  bool Started() const { return started_; }

  std::int64_t Position() const { return position_; }
  std::int64_t Maximum() const { return maximum_; }
  // 0 to 100; an empty range is at 0 until Complete.
  int Percent() const;
  // Image bytes per second so far; 0 before anything has moved.
  double Rate() const;
  // Seconds until the end at the rate so far; nothing while the rate is unknown.
  std::optional<double> SecondsLeft() const;

  // "[#####-----]  50%  4096/8192 bytes  12.0 KiB/s  0:01 left", the bar BarWidth wide.
  std::string BarLine(int BarWidth) const;
  // The plain-line form, for a log or a pipe.
  std::string PlainLine() const;
  // For plain lines: the tenth the transfer has reached (0 to 10) if it reached a new one
  // since the last call.
  std::optional<int> NextTenth();

 private:
  bool started_ = false;
  bool complete_ = false;
  std::int64_t maximum_ = 0;
  std::int64_t position_ = 0;
  Clock::time_point start_{};
  Clock::time_point last_{};
  int lastTenth_ = -1;
};

// "950 B/s", "12.0 KiB/s", "1.50 MiB/s".
std::string FormatRate(double BytesPerSecond);
// "0:07", "12:30", "1:02:03".
std::string FormatDuration(double Seconds);

}  // namespace bootshell::cli
