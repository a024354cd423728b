#pragma once
// The one way a test waits for something that another thread or process makes happen: it looks
// until the thing holds or a limit far above any healthy run has passed, so that a slow machine
// (or an emulator) is no failure and a missing event still ends the test.
#include <chrono>
#include <functional>
#include <thread>

#include "serialkit/platform/application.h"

namespace testsupport {

using namespace std::chrono_literals;

// Looks until Done holds or Limit has passed; whether it held. Between the looks runs Between,
// which serves the thread's queue or reads a line when the event comes that way; without one
// the thread sleeps a millisecond.
inline bool Eventually(const std::function<bool()>& Done, std::chrono::milliseconds Limit = 20s,
                       const std::function<void()>& Between = {}) {
  const auto until = std::chrono::steady_clock::now() + Limit;
  while (!Done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    if (Between)
      Between();
    else
      std::this_thread::sleep_for(1ms);
  }
  return true;
}

// Eventually, serving App's messages, calls and timers of the calling thread meanwhile: for
// events that come through that thread's queue.
inline bool ServeUntil(sk::platform::TApplication& App, const std::function<bool()>& Done,
                       std::chrono::milliseconds Limit = 20s) {
  return Eventually(Done, Limit, [&] { App.ProcessMessages(20); });
}
inline bool ServeUntil(const std::function<bool()>& Done, std::chrono::milliseconds Limit = 20s) {
  return ServeUntil(sk::platform::Application(), Done, Limit);
}

}  // namespace testsupport
