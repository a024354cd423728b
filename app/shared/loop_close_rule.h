#pragma once
// A close asked for while a loader loop runs waits until the last loop has ended ("Connect"
// pressed inside a running loop starts another, nested one).
namespace bootshell::window {

class LoopCloseRule {
 public:
  void LoopStarted() { ++loops_; }
  // True when a close asked for during the loops is due now.
  bool LoopEnded() {
    --loops_;
    return loops_ == 0 && closeRequested_;
  }
  // Whether the window may close now; if not, the close is remembered for the loops' end.
  bool MayClose() {
    closeRequested_ = loops_ > 0;
    return !closeRequested_;
  }
  int LoopsRunning() const { return loops_; }

 private:
  int loops_ = 0;  // GUI thread
  bool closeRequested_ = false;
};

}  // namespace bootshell::window
