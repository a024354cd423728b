#pragma once
// The event worker of a serial port: waits for the port's events and posts each mask to the
// port's message worker. A wait that fails on the open device is a lost connection.
#include <atomic>
#include <cstdint>
#include <memory>

#include "serialkit/comm/base_io.h"
#include "serialkit/platform/messages.h"
#include "serialkit/platform/thread.h"
#include "serialkit/platform/wake_event.h"

namespace sk {

class TskCustomComm;

class TCommThread final : public platform::TThread {
 public:
  // Starts at once, on the device AOwner holds now, posting to the thread MsgThread.
  // MsgThreadEnded tells when that thread has ended, so that posting to it stops.
  TCommThread(TskCustomComm& AOwner, platform::TThreadID MsgThread,
              std::shared_ptr<const std::atomic<bool>> MsgThreadEnded);
  ~TCommThread() override;

  // Also ends a wait for events in progress.
  void Terminate() override;

 protected:
  void Execute() override;

 private:
  // Hands one event mask to the message worker; false when nobody can take it any more.
  bool Post(std::uint32_t Mask);

  TskCustomComm* const Com;
  const THandle hDevice;
  platform::WakeEvent ovl;  // readable once Terminate has been called
  const platform::TThreadID msgThread_;
  const std::shared_ptr<const std::atomic<bool>> msgThreadEnded_;
};

}  // namespace sk
