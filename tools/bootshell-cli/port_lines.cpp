#include "port_lines.h"

namespace bootshell::cli {

namespace {

constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
constexpr std::size_t kStateWidth = 72;

}  // namespace

PortBoard::PortBoard(std::FILE* Out, bool Terminal, bool Quiet)
    : out_(Out), terminal_(Terminal), quiet_(Quiet) {}

std::size_t PortBoard::Add(const std::string& Port, const std::string& Serial) {
  std::lock_guard lock(mutex_);
  rows_.push_back({Port, Serial, "waiting", 0, 0});
  dirty_ = true;
  Redraw(false);
  return rows_.size() - 1;
}

void PortBoard::SetState(std::size_t Row, const std::string& State) {
  std::lock_guard lock(mutex_);
  auto& r = rows_.at(Row);
  r.state = State;
  dirty_ = true;
  if (terminal_)
    Redraw(false);
  else
    Plain(r, State);
}

void PortBoard::SetProgress(std::size_t Row, int Percent, double Rate, const std::string& Text) {
  std::lock_guard lock(mutex_);
  auto& r = rows_.at(Row);
  r.percent = Percent;
  r.rate = Rate;
  dirty_ = true;
  if (terminal_)
    Redraw(false);
  else if (!Text.empty())
    Plain(r, Text);
}

void PortBoard::Flush() {
  std::lock_guard lock(mutex_);
  Redraw(true);
}

std::string PortBoard::Text(const Row& R) const {
  char head[96];
  std::snprintf(head, sizeof head, "%-8s %-16s %3d%%  %12s  ", R.port.c_str(),
                R.serial.empty() ? "-" : R.serial.c_str(), R.percent, FormatRate(R.rate).c_str());
  return head + R.state.substr(0, kStateWidth);
}

void PortBoard::Redraw(bool Force) {
  if (quiet_ || !terminal_ || !dirty_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!Force && now - lastDraw_ < kRedrawEvery) return;
  lastDraw_ = now;
  dirty_ = false;
  if (drawn_ > 0) std::fprintf(out_, "\033[%zuA", drawn_);
  for (const Row& r : rows_) {
    std::fputs("\r\033[K", out_);
    std::fputs(Text(r).c_str(), out_);
    std::fputc('\n', out_);
  }
  drawn_ = rows_.size();
  std::fflush(out_);
}

void PortBoard::Plain(const Row& R, const std::string& Text) {
  if (quiet_) return;
  std::fputs((R.port + ": " + Text + "\n").c_str(), out_);
  std::fflush(out_);
}

PortOutput::PortOutput(PortBoard& Board, std::size_t Row)
    : ConsoleOutput(nullptr, nullptr, false, true), board_(Board), row_(Row) {}

void PortOutput::Line(const std::string& Text) {
  board_.SetState(row_, ForTerminal(Text));
}

void PortOutput::Progress(ProgressMeter& Meter) {
  const auto tenth = Meter.NextTenth();
  board_.SetProgress(row_, Meter.Percent(), Meter.Rate(), tenth ? Meter.PlainLine() : "");
}

}  // namespace bootshell::cli
