#pragma once
// A descriptor that a waiting thread can include in its wait on a device and another thread
// can make readable to end that wait (an eventfd on POSIX systems, an event object on Windows).
#include <atomic>
#include <cstdint>
#include <initializer_list>

#include "serialkit/platform/native_handle.h"

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
  NativeHandle Native() const { return handle_; }

 private:
  NativeHandle handle_ = kNoNativeHandle;
  // Set once Signal has made the descriptor readable: on POSIX systems, where nothing else
  // writes the eventfd, a reset of an unsignalled event (the usual case after a device woke the
  // wait) then costs no system call. Windows also sets these events itself, as the completion
  // events of overlapped I/O, so there a reset always resets.
  std::atomic<bool> signalled_{false};
};

// Waits until one of Handles (WakeEvent or device descriptors; negative ones are skipped)
// is readable, for at most TimeoutMs (-1: no limit). The index of a readable one, else -1.
int WaitReadable(std::initializer_list<std::intptr_t> Handles, int TimeoutMs);

}  // namespace sk::platform
