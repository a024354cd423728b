#include "serialkit/comm/comm_messages.h"

#include "serialkit/platform/messages.h"

namespace sk {

std::uint32_t MsgComEvent() {
  static const std::uint32_t number = platform::RegisterMessage("skCommMsgComEvent");
  return number;
}

std::uint32_t MsgQuitComEvent() {
  static const std::uint32_t number = platform::RegisterMessage("skCommMsgQuitComEvent");
  return number;
}

namespace {
// Both are taken at start-up, before any port opens.
[[maybe_unused]] const bool kRegistered = (MsgComEvent(), MsgQuitComEvent(), true);
}  // namespace

}  // namespace sk
