#pragma once
// A descriptor that a waiting thread can include in its wait on a device and another thread
// can make readable to end that wait (an eventfd here).
#include <cstdint>

namespace sk::platform {

class WakeEvent {
 public:
  WakeEvent();  // throws sk::Exception when the system has no descriptor left
  ~WakeEvent();
  WakeEvent(const WakeEvent&) = delete;
  WakeEvent& operator=(const WakeEvent&) = delete;

  // Makes the descriptor readable until Reset. Thread-safe.
  void Signal();
  // Makes it unreadable again.
  void Reset();
  bool IsSignalled() const;
  // What a wait includes (a file descriptor here).
  std::intptr_t Native() const { return fd_; }

 private:
  int fd_ = -1;
};

}  // namespace sk::platform
