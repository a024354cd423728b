#pragma once
// Where the command-line loader's lines go: status and answer lines and the progress on
// standard output, errors on standard error. On a terminal the progress is one bar line
// redrawn in place, which other lines are printed around. Callable from any thread.
#include <cstdio>
#include <mutex>
#include <string>

#include "progress_meter.h"

namespace bootshell::cli {

class ConsoleOutput {
 public:
  // Terminal: Out is a terminal (bar and in-place redraw). Quiet: only errors are printed.
  ConsoleOutput(std::FILE* Out, std::FILE* Err, bool Terminal, bool Quiet);
  virtual ~ConsoleOutput() = default;
  ConsoleOutput(const ConsoleOutput&) = delete;
  ConsoleOutput& operator=(const ConsoleOutput&) = delete;

  // A run among several puts its lines into its own port's line instead (port_lines.h).
  virtual void Line(const std::string& Text);
  virtual void Progress(ProgressMeter& Meter);
  // Leaves the bar line as it stands and moves below it.
  virtual void EndProgress();
  virtual void Error(const std::string& Text);

  bool Terminal() const { return terminal_; }

 private:
  void ClearBar();  // with mutex_ held

  std::mutex mutex_;
  std::FILE* out_;
  std::FILE* err_;
  const bool terminal_;
  const bool quiet_;
  bool barShown_ = false;
  std::string bar_;
};

// Text from the device made safe for a terminal: control characters (C0, DEL and C1) become
// "\xNN", so that an answer cannot move the cursor or change the terminal's state.
std::string ForTerminal(const std::string& Utf8Text);

}  // namespace bootshell::cli
