// No system message queue here: the application object keeps thread messages and timers
// itself and never calls these (sysqueue::kUsed is false). They exist so that its code for
// both kinds of system builds everywhere.
#include "serialkit/core/exception.h"
#include "serialkit/platform/system_queue.h"

namespace sk::platform::sysqueue {

namespace {

[[noreturn]] void NotHere() {
  throw Exception("this system has no message queue of its own");
}

}  // namespace

TSystemThread CreateForThisThread() {
  return 0;
}
bool Post(TSystemThread, const TMsg&) {
  return false;
}
bool PostQuit(TSystemThread) {
  return false;
}
TTaken Take(TMsg&, std::uint32_t, std::uint32_t, bool, bool, std::intptr_t) {
  NotHere();
}
int Wait(std::initializer_list<std::intptr_t>, int, bool) {
  NotHere();
}
bool Drain(const std::function<void(const TMsg&)>&) {
  return false;
}
SystemTimer::SystemTimer(std::function<void()>) {
  NotHere();
}
SystemTimer::~SystemTimer() = default;
void SystemTimer::Arm(std::uint32_t) {}

}  // namespace sk::platform::sysqueue
