#pragma once
// The message worker of a serial port: takes the events that the event worker posts and has
// the port handle them, itself or, with UseMainThread, through the main thread.
#include <atomic>
#include <memory>

#include "serialkit/platform/application.h"
#include "serialkit/platform/messages.h"
#include "serialkit/platform/thread.h"

namespace sk::platform {
class SerialDevice;
}

namespace sk {

class TskCustomComm;

class TMsgThread final : public platform::TThread {
 public:
  // Starts at once; posting to it works from the return on.
  explicit TMsgThread(TskCustomComm& AOwner);
  ~TMsgThread() override;

  // Also posts MsgQuitComEvent, which ends the wait for the next message.
  void Terminate() override;
  // Becomes true when the worker has stopped taking messages.
  std::shared_ptr<const std::atomic<bool>> Ended() const { return ended_; }

 protected:
  void Execute() override;

 private:
  // Has the port handle glMsg, in this thread or through the main thread.
  void Handle();
  // The next message into glMsg, or the device's input becoming readable.
  platform::TApplication::TReceived ReceiveOrInput(platform::SerialDevice& Input);

  TskCustomComm* const Com;
  platform::TMsg glMsg;
  const std::shared_ptr<std::atomic<bool>> ended_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace sk
