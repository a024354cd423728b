#include "serialkit/platform/device_roots.h"

#include <cstdlib>
#include <string_view>

namespace sk::platform {

namespace {

std::string FromEnvironment(const char* Name, const char* Default) {
  const char* value = std::getenv(Name);
  return value != nullptr && *value != '\0' ? value : Default;
}

}  // namespace

std::string SysfsRoot() {
  return FromEnvironment("SK_SYSFS_ROOT", "/sys");
}

std::string DevRoot() {
  return FromEnvironment("SK_DEV_ROOT", "/dev");
}

bool UdevDisabled() {
  const char* value = std::getenv("SK_NO_UDEV");
  return value != nullptr && std::string_view(value) == "1";
}

}  // namespace sk::platform
