#include "console_window.h"

namespace bootshell::cli {

ConsoleWindow::ConsoleWindow(ConsoleOutput& Out, int LinkKind, sk::platform::TApplication& App)
    : out_(Out), linkKind_(LinkKind), app_(App), thread_(sk::platform::CurrentThreadId()) {}

void ConsoleWindow::AnswerArrived(const std::function<void()>& Store, std::string Line) {
  std::lock_guard lock(answersMutex_);
  Store();
  answers_.push_back(std::move(Line));
}

void ConsoleWindow::FlushAnswers() {
  std::lock_guard lock(answersMutex_);
  for (const std::string& line : answers_) out_.Line(ForTerminal(line));
  answers_.clear();
}

void ConsoleWindow::SetStatusPanel(int Index, const std::string& Text) {
  std::string& panel = panels_.at(static_cast<std::size_t>(Index));
  if (panel == Text) return;
  panel = Text;
  // Panel 1 tells what happens to the image: worth a line each time it changes.
  if (Index == 1) out_.Line(Text);
}

void ConsoleWindow::SetProgressMax(int Value) {
  meter_.Start(Value, ProgressMeter::Clock::now());
}

void ConsoleWindow::SetProgressPosition(int Value) {
  if (!meter_.Started()) return;
  meter_.Update(Value, ProgressMeter::Clock::now());
  out_.Progress(meter_);
}

void ConsoleWindow::ProcessMessages() {
  app_.ProcessMessages();
  Served();
}

void ConsoleWindow::ProcessMessagesWaiting(std::uint32_t TimeoutMs) {
  app_.ProcessMessages(TimeoutMs);
  Served();
}

void ConsoleWindow::WakeUp() {
  app_.WakeUp(thread_);
}

void ConsoleWindow::Served() {
  FlushAnswers();
  if (operator_) operator_();
}

}  // namespace bootshell::cli
