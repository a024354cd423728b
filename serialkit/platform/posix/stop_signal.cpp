#include "serialkit/platform/stop_signal.h"

#include <signal.h>

#include <atomic>
#include <mutex>

namespace sk::platform {
namespace {

// A signal is process-wide, and its handler may touch nothing but a lock-free flag: this one
// flag is the process's, on purpose. It holds from the request until the next watch begins.
std::atomic<bool>& StopFlag() {
  static std::atomic<bool> flag{false};
  static_assert(std::atomic<bool>::is_always_lock_free);
  return flag;
}

extern "C" void OnStopSignal(int) {
  StopFlag().store(true);
}

// Watches may nest or overlap in several threads: the first installs the handlers, the last
// puts the previous ones back.
struct Installed {
  std::mutex mutex;
  int watches = 0;
  struct sigaction previousInt {};
  struct sigaction previousTerm {};
};
Installed& Handlers() {
  static Installed installed;
  return installed;
}

}  // namespace

TStopSignalWatch::TStopSignalWatch() {
  Installed& h = Handlers();
  std::lock_guard lock(h.mutex);
  if (h.watches++ > 0) return;
  StopFlag().store(false);
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, &h.previousInt);
  ::sigaction(SIGTERM, &action, &h.previousTerm);
}

TStopSignalWatch::~TStopSignalWatch() {
  Installed& h = Handlers();
  std::lock_guard lock(h.mutex);
  if (--h.watches > 0) return;
  ::sigaction(SIGINT, &h.previousInt, nullptr);
  ::sigaction(SIGTERM, &h.previousTerm, nullptr);
}

bool TStopSignalWatch::Requested() {
  return StopFlag().load();
}

}  // namespace sk::platform
