#pragma once
// The setup-device list: records of plug-and-play devices, each keyed by its Driver text, in
// discovery order. Loading the port list consumes records from it.
#include <memory>
#include <string>
#include <vector>

#include "serialkit/discovery/device.h"

namespace sk {

struct TskSetupDeviceEntry {
  std::string Driver;
  std::unique_ptr<TskDevice> Device;
};
using TskSetupDeviceList = std::vector<TskSetupDeviceEntry>;

}  // namespace sk
