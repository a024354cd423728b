#include "console_output.h"

namespace bootshell::cli {

namespace {

constexpr int kBarWidth = 30;

void AppendEscaped(std::string& Out, unsigned char Byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  Out += "\\x";
  Out += kHex[Byte >> 4];
  Out += kHex[Byte & 0xF];
}

}  // namespace

ConsoleOutput::ConsoleOutput(std::FILE* Out, std::FILE* Err, bool Terminal, bool Quiet)
    : out_(Out), err_(Err), terminal_(Terminal), quiet_(Quiet) {}

void ConsoleOutput::ClearBar() {
  if (!barShown_) return;
  std::fputs("\r\033[K", out_);
  barShown_ = false;
}

void ConsoleOutput::Line(const std::string& Text) {
  if (quiet_) return;
  std::lock_guard lock(mutex_);
  const bool redraw = barShown_;
  ClearBar();
  std::fputs(Text.c_str(), out_);
  std::fputc('\n', out_);
  if (redraw) {
    std::fputs(bar_.c_str(), out_);
    barShown_ = true;
  }
  std::fflush(out_);
}

void ConsoleOutput::Progress(ProgressMeter& Meter) {
  if (quiet_) return;
  std::lock_guard lock(mutex_);
  if (terminal_) {
    bar_ = Meter.BarLine(kBarWidth);
    std::fputc('\r', out_);
    std::fputs(bar_.c_str(), out_);
    std::fputs("\033[K", out_);
    barShown_ = true;
  } else if (Meter.NextTenth()) {
    std::fputs(Meter.PlainLine().c_str(), out_);
    std::fputc('\n', out_);
  }
  std::fflush(out_);
}

void ConsoleOutput::EndProgress() {
  std::lock_guard lock(mutex_);
  if (!barShown_) return;
  std::fputc('\n', out_);
  std::fflush(out_);
  barShown_ = false;
}

void ConsoleOutput::Error(const std::string& Text) {
  std::lock_guard lock(mutex_);
  if (barShown_) {
    // The bar stays as the last word on the transfer.
    std::fputc('\n', out_);
    std::fflush(out_);
    barShown_ = false;
  }
  std::fputs(Text.c_str(), err_);
  std::fputc('\n', err_);
  std::fflush(err_);
}

std::string ForTerminal(const std::string& Utf8Text) {
  std::string out;
  out.reserve(Utf8Text.size());
  for (std::size_t i = 0; i < Utf8Text.size(); ++i) {
    const auto b = static_cast<unsigned char>(Utf8Text[i]);
    if (b < 0x20 || b == 0x7F) {
      AppendEscaped(out, b);
    } else if (b == 0xC2 && i + 1 < Utf8Text.size() &&
               static_cast<unsigned char>(Utf8Text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(Utf8Text[i + 1]) <= 0x9F) {
      AppendEscaped(out, static_cast<unsigned char>(Utf8Text[++i]));
    } else {
      out += Utf8Text[i];
    }
  }
  return out;
}

}  // namespace bootshell::cli
