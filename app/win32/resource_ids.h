#pragma once
// Numbers of the program's resources (shared by the resource script and the code).
#define IDI_BOOTSHELL 1
