#pragma once
// Joins the registry port list with the setup-device records into device-list entries: first
// every port of the map, given the description of the device that names it, then the devices
// the map does not list (numbered 4097 upwards when their name is not "COMn").
#include <cstdint>
#include <functional>
#include <memory>

#include "serialkit/discovery/device.h"
#include "serialkit/discovery/port_list.h"
#include "serialkit/discovery/setup_device_list.h"

namespace sk {

// Takes a record into the device list: its position, or -1 when refused (the record is then
// destroyed).
using TskDeviceInserter = std::function<int(std::unique_ptr<TskDevice>)>;

// WithDevices: the richer modes (S was filled); PresentOnly: a port that no device claims is
// left out while unclaimed devices remain. Records of S that are used are removed from it.
void JoinPortsAndDevices(const TskPortList& P, TskSetupDeviceList& S, bool WithDevices,
                         bool PresentOnly, const TskDeviceInserter& Insert);

}  // namespace sk
