#include "serialkit/platform/tick.h"

#include <chrono>

namespace sk::platform {

std::uint32_t GetTickCount() {
  using namespace std::chrono;
  auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return static_cast<std::uint32_t>(ms);
}

}  // namespace sk::platform
