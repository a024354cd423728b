#pragma once
// The library's serial records and the system's own of the same name, which have one layout
// (system_records.cpp checks it): the copies the backend makes at each call into the system.
#include <windows.h>

#include <bit>

#include "serialkit/platform/serial_records.h"

namespace sk::platform::win32 {

inline ::DCB ToSystem(const sk::DCB& Record) {
  return std::bit_cast<::DCB>(Record);
}
inline ::COMMTIMEOUTS ToSystem(const sk::COMMTIMEOUTS& Record) {
  return std::bit_cast<::COMMTIMEOUTS>(Record);
}
inline ::COMMCONFIG ToSystem(const sk::COMMCONFIG& Record) {
  return std::bit_cast<::COMMCONFIG>(Record);
}

inline sk::DCB FromSystem(const ::DCB& Record) {
  return std::bit_cast<sk::DCB>(Record);
}
inline sk::COMMTIMEOUTS FromSystem(const ::COMMTIMEOUTS& Record) {
  return std::bit_cast<sk::COMMTIMEOUTS>(Record);
}
inline sk::COMSTAT FromSystem(const ::COMSTAT& Record) {
  return std::bit_cast<sk::COMSTAT>(Record);
}
inline sk::COMMPROP FromSystem(const ::COMMPROP& Record) {
  return std::bit_cast<sk::COMMPROP>(Record);
}
inline sk::COMMCONFIG FromSystem(const ::COMMCONFIG& Record) {
  return std::bit_cast<sk::COMMCONFIG>(Record);
}

}  // namespace sk::platform::win32
