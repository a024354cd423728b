#include "loader/state_names.h"

#include "loader/loader_states.h"

namespace bootshell::loader {

const char* LoaderStateName(std::int32_t State) {
  switch (State) {
    case lsLoadImage:
      return "lsLoadImage";
    case lsSendAddress:
      return "lsSendAddress";
    case lsWaitAddressAnswer:
      return "lsWaitAddressAnswer";
    case lsSendBlock:
      return "lsSendBlock";
    case lsWaitBlockAnswer:
      return "lsWaitBlockAnswer";
    case lsImageWritten:
      return "lsImageWritten";
    case lsSendHandshake:
      return "lsSendHandshake";
    case lsWaitHandshake:
      return "lsWaitHandshake";
    case lsIdle:
      return "lsIdle";
    default:
      return "no step";
  }
}

std::string LoaderStateText(std::int32_t State) {
  return std::to_string(State) + " (" + LoaderStateName(State) + ")";
}

}  // namespace bootshell::loader
