#pragma once
// What the operator sees of many ports at once: on a terminal one line per port (port,
// serial number, percent, rate, state) redrawn in place, otherwise plain lines begun with the
// port's name; quiet, nothing (the summary follows at the end). Each port's run writes into its
// own line through a PortOutput. Callable from any thread.
#include <chrono>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>

#include "console_output.h"
#include "progress_meter.h"

namespace bootshell::cli {

class PortBoard {
 public:
  PortBoard(std::FILE* Out, bool Terminal, bool Quiet);

  // A new line for a port's run; its index. A port written again gets a new line.
  std::size_t Add(const std::string& Port, const std::string& Serial);
  void SetState(std::size_t Row, const std::string& State);
  void SetProgress(std::size_t Row, int Percent, double Rate, const std::string& Plain);
  // Draws what has changed since the last redraw now (a terminal redraws at most every
  // 100 ms otherwise).
  void Flush();

 private:
  struct Row {
    std::string port, serial, state;
    int percent = 0;
    double rate = 0;
  };
  std::string Text(const Row& R) const;
  void Redraw(bool Force);  // with mutex_ held
  void Plain(const Row& R, const std::string& Text);

  std::mutex mutex_;
  std::FILE* out_;
  const bool terminal_;
  const bool quiet_;
  std::deque<Row> rows_;  // indices stay valid as rows are added
  std::size_t drawn_ = 0;
  bool dirty_ = false;
  std::chrono::steady_clock::time_point lastDraw_{};
};

// A run's console, which is its line on the board.
class PortOutput : public ConsoleOutput {
 public:
  PortOutput(PortBoard& Board, std::size_t Row);
  void Line(const std::string& Text) override;
  void Progress(ProgressMeter& Meter) override;
  void EndProgress() override {}
  void Error(const std::string& Text) override { Line(Text); }

 private:
  PortBoard& board_;
  const std::size_t row_;
};

}  // namespace bootshell::cli
