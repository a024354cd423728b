#pragma once
// The console's request to stop a program (Ctrl+C, a terminate signal, the console closing),
// caught while a watch exists instead of ending the process at once, so that a program serving
// its messages can close its ports and return. Outside a watch the system's default applies.
namespace sk::platform {

class TStopSignalWatch {
 public:
  TStopSignalWatch();
  ~TStopSignalWatch();
  TStopSignalWatch(const TStopSignalWatch&) = delete;
  TStopSignalWatch& operator=(const TStopSignalWatch&) = delete;

  // Whether a stop request came during the current watch or, with none active, the last one:
  // a new watch starts unasked, so that a program stopped out of one wait can still wait for
  // its ports to close.
  static bool Requested();
};

}  // namespace sk::platform
