#pragma once
// The system's word that a port came or went: a device-change message to every top-level
// window, with a port header as a driver sends it.
#include <windows.h>

#include <string>

#include "serialkit/platform/device_change.h"

namespace win32test {

// Broadcasts a device-change message to every top-level window, as the system does.
inline void Broadcast(WPARAM Event, const void* Header) {
  ::SendMessageTimeoutW(HWND_BROADCAST, WM_DEVICECHANGE, Event, reinterpret_cast<LPARAM>(Header),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
}

// A port header as a driver broadcasts it: the name in UTF-16 after the common header.
struct PortBroadcast {
  explicit PortBroadcast(const std::wstring& Name) {
    header.dbch_size = static_cast<DWORD>(sizeof header + (Name.size() + 1) * sizeof(wchar_t));
    header.dbch_devicetype = sk::platform::DBT_DEVTYP_PORT;
    Name.copy(name, Name.size());
  }
  sk::platform::DEV_BROADCAST_HDR header{};
  wchar_t name[64] = {};
};

}  // namespace win32test
