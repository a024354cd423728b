#pragma once
#include <string>

namespace sk::platform {

// The full path of the running program's executable; empty if the system cannot tell.
std::string ExecutablePath();

}  // namespace sk::platform
