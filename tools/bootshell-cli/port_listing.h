#pragma once
// --list-ports: the port component's device list as lines (display string, port name,
// device node, tab-separated) or as a JSON array of the records.
#include <string>

#include "serialkit/comm/comm_types.h"
#include "serialkit/discovery/device.h"

namespace bootshell::cli {

// One line per entry, in list order; nothing for an empty list.
std::string FormatPortLines(const sk::TskDeviceItems& Items);
// An array with one object per entry holding every field of its record.
std::string FormatPortJson(const sk::TskDeviceItems& Items);
// Loads the machine's list in Mode and formats it.
std::string ListPorts(sk::TskEnumPorts Mode, bool Json);

}  // namespace bootshell::cli
