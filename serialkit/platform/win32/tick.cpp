#include "serialkit/platform/tick.h"

#include <windows.h>

namespace sk::platform {

std::uint32_t GetTickCount() {
  return ::GetTickCount();
}

}  // namespace sk::platform
