#include "loader/tick_source.h"

#include <chrono>
#include <thread>

#include "serialkit/platform/tick.h"

namespace bootshell::loader {

namespace {

class SystemTickSource : public TickSource {
 public:
  std::uint32_t Now() override { return sk::platform::GetTickCount(); }
  void Sleep(std::uint32_t Ms) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(Ms));
  }
};

}  // namespace

TickSource& SystemTicks() {
  static SystemTickSource ticks;
  return ticks;
}

}  // namespace bootshell::loader
