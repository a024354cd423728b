#pragma once
// The loader states by name, for messages that say where the loader was.
#include <cstdint>
#include <string>

namespace bootshell::loader {

// "lsWaitAddressAnswer" for 142; "no step" for a number that names no state.
const char* LoaderStateName(std::int32_t State);
// "142 (lsWaitAddressAnswer)".
std::string LoaderStateText(std::int32_t State);

}  // namespace bootshell::loader
