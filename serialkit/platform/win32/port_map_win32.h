#pragma once
// The registry's serial-port map read from any key, so that the reading can be checked on a
// key of a test's own as well as on the system's map.
#include <string>
#include <vector>

#include "serialkit/platform/port_map.h"
#include "serialkit/platform/registry.h"

namespace sk::platform::win32 {

// The system's map: HARDWARE\DEVICEMAP\SERIALCOMM below the local machine.
inline constexpr const char* kSerialCommKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// The values of Key below Root in the registry's order: each value's name as DevicePath, its
// text (a string value up to its first NUL; other types give no text) as PortName. A key that
// does not open gives nothing; a value whose name is over 260 characters or whose data is over
// 260 bytes is passed over.
std::vector<PortMapEntry> ReadSerialPortMap(RegistryRoot Root, const std::string& Key);

}  // namespace sk::platform::win32
