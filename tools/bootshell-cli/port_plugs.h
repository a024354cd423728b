#pragma once
// What the arrivals and removals of one port mean to the station. The device watcher may
// report one plug twice (a folder and its entry seen at once, a slow machine), so an arrival is
// a new plug only for a port never written or one that has left since its last run started:
// writing a device twice is worse than ignoring an arrival the watcher repeated.

namespace bootshell::cli {

class PortPlugs {
 public:
  // The port arrived; true: start its run now. A re-plug while its run goes is kept for
  // RunAgain.
  bool Arrived(bool RunGoing) {
    if (started_ && !left_) return false;
    if (!RunGoing) return true;
    again_ = true;
    return false;
  }
  // The port left: a re-plug kept for later has gone again.
  void Left() {
    left_ = true;
    again_ = false;
  }
  // A run of the port has started.
  void Started() {
    started_ = true;
    left_ = again_ = false;
  }
  // Its run has ended; true: the port came back meanwhile and is written again now.
  bool RunAgain() const { return again_; }

 private:
  bool started_ = false;
  bool left_ = false;
  bool again_ = false;
};

}  // namespace bootshell::cli
