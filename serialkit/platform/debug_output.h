#pragma once
// The debugger output channel: a line for whoever watches the system's diagnostic messages.
#include <string>

namespace sk::platform {

// Sends one line of text; never fails (a missing listener just drops it).
void DebugOutput(const std::string& Text);

}  // namespace sk::platform
