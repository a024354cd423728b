#pragma once
// The loader's window on a console: the status panels are kept and panel 1 is printed, the
// progress bar becomes a progress display, and the window's message processing serves the
// calling thread's queue of the application object. After every serving the operator (the
// command line's script) gets its turn at the buttons, as a person at the window would.
#include <array>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "console_output.h"
#include "loader/loader_window.h"
#include "serialkit/platform/application.h"
#include "progress_meter.h"

namespace bootshell::cli {

class ConsoleWindow : public loader::LoaderWindow {
 public:
  // The window belongs to the calling thread, whose queue it serves.
  ConsoleWindow(ConsoleOutput& Out, int LinkKind,
                sk::platform::TApplication& App = sk::platform::Application());

  // Runs after every serving of messages, in the window's thread.
  void SetOperator(std::function<void()> Operator) { operator_ = std::move(Operator); }
  // An answer has come (thread-safe): runs Store (the loader taking its tag), then queues Line
  // for the answer log, printed at the next serving. Both happen under the lock that printing
  // takes, so a turn that acts on the tag prints nothing before the answer's line.
  void AnswerArrived(const std::function<void()>& Store, std::string Line);
  // Prints the answer lines queued so far.
  void FlushAnswers();

  const std::string& Panel(int Index) const { return panels_.at(static_cast<std::size_t>(Index)); }
  bool Image1Visible() const { return image1Visible_; }
  bool PageControl1Shown() const { return pageShown_; }
  const std::vector<std::string>& Errors() const { return errors_; }
  ProgressMeter& Progress() { return meter_; }

  // loader::LoaderWindow
  void SetStatusPanel(int Index, const std::string& Text) override;
  void SetProgressMin(int) override {}
  void SetProgressMax(int Value) override;
  void SetProgressPosition(int Value) override;
  void SetImage1Visible(bool Value) override { image1Visible_ = Value; }
  void ShowPageControl1() override { pageShown_ = true; }
  int RadioGroup1ItemIndex() const override { return linkKind_; }
  void ProcessMessages() override;
  void ProcessMessagesWaiting(std::uint32_t TimeoutMs) override;
  void WakeUp() override;
  void ReportError(const std::string& Message) override { errors_.push_back(Message); }

 private:
  void Served();

  ConsoleOutput& out_;
  const int linkKind_;
  sk::platform::TApplication& app_;
  const sk::platform::TThreadID thread_;
  std::function<void()> operator_;
  std::array<std::string, 7> panels_;
  bool image1Visible_ = false;
  bool pageShown_ = false;
  std::vector<std::string> errors_;
  ProgressMeter meter_;

  std::mutex answersMutex_;
  std::deque<std::string> answers_;  // under answersMutex_
};

}  // namespace bootshell::cli
