#include "serialkit/platform/system_info.h"

#include <sys/utsname.h>

namespace sk::platform {

std::string SystemVersionString() {
  utsname names{};
  if (uname(&names) != 0) return "";
  return std::string("Linux ") + names.release;
}

}  // namespace sk::platform
