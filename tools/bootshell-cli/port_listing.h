#pragma once
// --list-ports: the port component's device list as lines (display string, port name,
// device node, tab-separated; and the serial number in the richer modes) or as a JSON array
// of the records, with each port's USB identity where it has one.
#include <map>
#include <optional>
#include <string>

#include "serialkit/comm/comm_types.h"
#include "serialkit/discovery/device.h"

namespace bootshell::cli {

// What the setup-device enumeration tells of a USB port.
struct UsbIdentity {
  std::string vendorId;  // four hex digits, upper case
  std::string productId;
  std::string serialNumber;  // empty when the device has none
  std::string byIdLink;      // the /dev/serial/by-id link, empty when there is none
  int interfaceNumber = 0;
};
// By port name (COMn).
using UsbIdentities = std::map<std::string, UsbIdentity>;

// The identity a setup-device record carries; nothing for a device on another bus.
std::optional<UsbIdentity> UsbIdentityOf(const sk::TskDevice& SetupRecord);
// The machine's ports that have a USB identity.
UsbIdentities ReadUsbIdentities();

// One line per entry, in list order; nothing for an empty list. With Serials, each line ends
// in a fourth column, the port's serial number (empty when unknown).
std::string FormatPortLines(const sk::TskDeviceItems& Items,
                            const UsbIdentities* Serials = nullptr);
// An array with one object per entry holding every field of its record, and "Usb" for the
// ports in Usb.
std::string FormatPortJson(const sk::TskDeviceItems& Items, const UsbIdentities& Usb = {});
// Loads the machine's list in Mode and formats it.
std::string ListPorts(sk::TskEnumPorts Mode, bool Json);

}  // namespace bootshell::cli
