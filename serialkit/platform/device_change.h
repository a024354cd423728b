#pragma once
// The device-change message a window receives when devices arrive or leave, as a neutral
// record with the system's constants and broadcast headers. The device watcher
// (platform/device_watcher.h) produces it; components take it in WMDeviceChange.
#include <cstdint>

namespace sk::platform {

// The constants have the system's values; where <windows.h> (or <dbt.h>) came first they are its
// macros instead.
#ifndef WM_DEVICECHANGE
inline constexpr std::uint32_t WM_DEVICECHANGE = 0x0219;
#endif

#ifndef DBT_DEVICEARRIVAL
// Event codes (the message's WParam).
inline constexpr std::uintptr_t DBT_DEVNODES_CHANGED = 0x0007;
inline constexpr std::uintptr_t DBT_DEVICEARRIVAL = 0x8000;
inline constexpr std::uintptr_t DBT_DEVICEREMOVECOMPLETE = 0x8004;

// Device types of a broadcast header.
inline constexpr std::uint32_t DBT_DEVTYP_OEM = 0;
inline constexpr std::uint32_t DBT_DEVTYP_VOLUME = 2;
inline constexpr std::uint32_t DBT_DEVTYP_PORT = 3;
inline constexpr std::uint32_t DBT_DEVTYP_DEVICEINTERFACE = 5;
#endif

struct DEV_BROADCAST_HDR {
  std::uint32_t dbch_size = sizeof(DEV_BROADCAST_HDR);
  std::uint32_t dbch_devicetype = 0;
  std::uint32_t dbch_reserved = 0;
};

// A port header: the common header followed by the port's name (UTF-8 here, NUL-terminated,
// cut to fit). The header is the first member, so a pointer to it converts back to the port
// record.
struct DEV_BROADCAST_PORT {
  DEV_BROADCAST_HDR Header{sizeof(DEV_BROADCAST_PORT), DBT_DEVTYP_PORT, 0};
  char dbcp_name[260] = {};
};

// The message: its number, the event code and the broadcast header that LParam points to
// (none for codes that carry no header). Result is the answer a window would return.
struct TDeviceChangeMessage {
  std::uint32_t Msg = WM_DEVICECHANGE;
  std::uintptr_t WParam = 0;
  const DEV_BROADCAST_HDR* LParam = nullptr;
  std::intptr_t Result = 0;
};

}  // namespace sk::platform
