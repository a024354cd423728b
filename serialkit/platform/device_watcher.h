#pragma once
// Follows serial devices arriving and leaving (ttys, and entries of the port map's override
// folder) and tells the thread that created the watcher with the device-change message a
// window would receive: DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE with a port header.
// The message is delivered through the application object, so that thread serves it in its
// ProcessMessages (or the GUI's event loop). On Windows the system's own broadcasts are
// passed on (port arrivals and removals, and "device nodes changed" without a header); there
// is no override folder there.
#include <functional>
#include <memory>
#include <string>

#include "serialkit/platform/device_change.h"

namespace sk::platform {

class DeviceWatcher {
 public:
  using Handler = std::function<void(TDeviceChangeMessage& Msg)>;

  // Starts watching in a thread of its own. The override folder is made when missing, so that
  // its first entry is seen. Throws sk::Exception when nothing can be watched.
  explicit DeviceWatcher(Handler OnChange, std::string OverrideDir = {});
  // Stops watching; messages not yet delivered are dropped. Call in the creating thread.
  ~DeviceWatcher();
  DeviceWatcher(const DeviceWatcher&) = delete;
  DeviceWatcher& operator=(const DeviceWatcher&) = delete;

  // Whether arrivals come from the device manager's monitor (else from the device folder).
  bool UsesDeviceMonitor() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace sk::platform
