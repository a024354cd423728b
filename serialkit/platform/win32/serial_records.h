#pragma once
// The system's own serial-port records on Windows, and the one-word view of their DCB and
// COMSTAT bit fields that code shared with other systems works through. Included by
// platform/serial_records.h, which adds the constants and checks the layout.
#include <cstdint>
#include <cstring>

#include <windows.h>

namespace sk {
using ::COMMCONFIG;
using ::COMMPROP;
using ::COMMTIMEOUTS;
using ::COMSTAT;
using ::DCB;

// The flag word follows BaudRate.
inline std::uint32_t DcbFlags(const DCB& Dcb) {
  std::uint32_t flags;
  std::memcpy(&flags, reinterpret_cast<const char*>(&Dcb.BaudRate) + sizeof(Dcb.BaudRate),
              sizeof flags);
  return flags;
}
inline void SetDcbFlags(DCB& Dcb, std::uint32_t Flags) {
  std::memcpy(reinterpret_cast<char*>(&Dcb.BaudRate) + sizeof(Dcb.BaudRate), &Flags, sizeof Flags);
}
// The flag word is the first member.
inline std::uint32_t ComStatFlags(const COMSTAT& Stat) {
  std::uint32_t flags;
  std::memcpy(&flags, &Stat, sizeof flags);
  return flags;
}
inline void SetComStatFlags(COMSTAT& Stat, std::uint32_t Flags) {
  std::memcpy(&Stat, &Flags, sizeof Flags);
}
}  // namespace sk
