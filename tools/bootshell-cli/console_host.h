#pragma once
// The loader loop's host on a console: its message serving serves the calling thread's queue
// of the application object, and after every serving the operator (the command line's script)
// gets its turn, as a person at the window would.
#include <functional>

#include "loader/loader_events.h"
#include "serialkit/platform/application.h"

namespace bootshell::cli {

class ConsoleHost : public loader::LoaderHost {
 public:
  // The host belongs to the calling thread, whose queue it serves.
  explicit ConsoleHost(int LinkKind, sk::platform::TApplication& App = sk::platform::Application());

  // Runs after every serving of messages, in the host's thread.
  void SetOperator(std::function<void()> Operator) { operator_ = std::move(Operator); }

  // loader::LoaderHost
  int LinkKind() const override { return linkKind_; }
  void ProcessMessages() override;
  void ProcessMessagesWaiting(std::uint32_t TimeoutMs) override;
  void WakeUp() override;

 private:
  const int linkKind_;
  sk::platform::TApplication& app_;
  const sk::platform::TThreadID thread_;
  std::function<void()> operator_;
};

}  // namespace bootshell::cli
