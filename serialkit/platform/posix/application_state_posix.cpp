// Threads have no message queues of their own here: the application object keeps their
// messages and timers itself.
#include "serialkit/platform/application_state.h"

namespace sk::platform {

std::shared_ptr<TApplication::State> NewApplicationState() {
  return std::make_shared<TApplication::State>();
}

}  // namespace sk::platform
