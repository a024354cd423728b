#pragma once
// <windows.h> names the device-change message as a macro, which would turn the constant of
// platform/device_change.h into a number. Included there first, so that the system header has
// been seen once and its macro can give way to the constant wherever either is included.
#include <windows.h>

#undef WM_DEVICECHANGE
