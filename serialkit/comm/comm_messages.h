#pragma once
// The two thread messages between a port's workers: an event of the port (wParam the EV_ mask)
// and the request to end the message worker. Registered for the whole process.
#include <cstdint>

namespace sk {

std::uint32_t MsgComEvent();
std::uint32_t MsgQuitComEvent();

}  // namespace sk
