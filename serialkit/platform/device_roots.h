#pragma once
// Where the machine's device information and device nodes are found: $SK_SYSFS_ROOT (default
// "/sys") and $SK_DEV_ROOT (default "/dev"), so that enumeration and watching can run on a
// tree a test builds.
#include <string>

namespace sk::platform {

std::string SysfsRoot();
std::string DevRoot();
// $SK_NO_UDEV=1: the device database library is not used even when present.
bool UdevDisabled();

}  // namespace sk::platform
