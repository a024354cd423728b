#include "console_host.h"

namespace bootshell::cli {

ConsoleHost::ConsoleHost(int LinkKind, sk::platform::TApplication& App)
    : linkKind_(LinkKind), app_(App), thread_(sk::platform::CurrentThreadId()) {}

void ConsoleHost::ProcessMessages() {
  app_.ProcessMessages();
  if (operator_) operator_();
}

void ConsoleHost::ProcessMessagesWaiting(std::uint32_t TimeoutMs) {
  app_.ProcessMessages(TimeoutMs);
  if (operator_) operator_();
}

void ConsoleHost::WakeUp() {
  app_.WakeUp(thread_);
}

}  // namespace bootshell::cli
