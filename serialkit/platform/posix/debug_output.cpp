#include "serialkit/platform/debug_output.h"

#include <syslog.h>

namespace sk::platform {

void DebugOutput(const std::string& Text) {
  // The text goes as an argument, never as the format.
  syslog(LOG_USER | LOG_DEBUG, "%s", Text.c_str());
}

}  // namespace sk::platform
