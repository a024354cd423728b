#include "serialkit/platform/stop_signal.h"

#include <windows.h>

#include <atomic>
#include <mutex>

namespace sk::platform {
namespace {

// A console control event is process-wide: this one flag is the process's, on purpose. It
// holds from the request until the next watch begins.
std::atomic<bool>& StopFlag() {
  static std::atomic<bool> flag{false};
  return flag;
}

// Runs in a thread of its own that the system starts; TRUE keeps the process alive.
BOOL WINAPI OnConsoleControl(DWORD Type) {
  switch (Type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      StopFlag().store(true);
      return TRUE;
    default:
      return FALSE;
  }
}

struct Installed {
  std::mutex mutex;
  int watches = 0;
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
  ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

TStopSignalWatch::~TStopSignalWatch() {
  Installed& h = Handlers();
  std::lock_guard lock(h.mutex);
  if (--h.watches == 0) ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

bool TStopSignalWatch::Requested() {
  return StopFlag().load();
}

}  // namespace sk::platform
