#pragma once
// SIGINT, SIGTERM and SIGHUP turned into a readable descriptor, so that the simulator's loop
// ends in order (port map entry removed, flash image written) instead of dying mid-way.
namespace zr48sim {

class StopSignals {
 public:
  StopSignals();  // throws sk::Exception when the descriptor cannot be made
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  int Fd() const { return read_; }
  // The signal that arrived, or 0.
  int Received() const;

 private:
  int read_ = -1;
  int write_ = -1;
};

}  // namespace zr48sim
