#pragma once
// The program's built-in pictures (the device picture of Image1).

namespace bootshell::app {

// Registers them; a static library's resources are not registered by themselves.
void InitResources();

}  // namespace bootshell::app
