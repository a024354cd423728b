#include "serialkit/comm/comm_thread.h"

#include <thread>

#include "serialkit/comm/comm_messages.h"
#include "serialkit/comm/custom_comm.h"
#include "serialkit/platform/serial_device.h"

namespace sk {

TCommThread::TCommThread(TskCustomComm& AOwner, platform::TThreadID MsgThread,
                         std::shared_ptr<const std::atomic<bool>> MsgThreadEnded)
    : TThread(AOwner.App()),
      Com(&AOwner),
      hDevice(AOwner.Handle()),
      msgThread_(MsgThread),
      msgThreadEnded_(std::move(MsgThreadEnded)) {
  Start();
}

TCommThread::~TCommThread() {
  // Its owner never destroys it from within; should that happen, the thread ends by itself.
  if (ThreadID() != platform::CurrentThreadId())
    Stop();
  else
    Terminate();
}

void TCommThread::Terminate() {
  TThread::Terminate();
  ovl.Signal();
}

void TCommThread::Execute() {
  if (!hDevice) return;
  do {
    std::uint32_t mask = 0;
    if (!hDevice->WaitCommEvent(mask, ovl.Native())) {
      // A device released by a close ends the wait quietly; any other failure means the
      // device is gone, and the port is closed as lost, unless it has been closed already.
      if (!Terminated() && !hDevice->IsClosed()) Com->InternalCloseDevice(hDevice, false);
      return;
    }
    if (Terminated()) return;
    if (mask != 0 && !Post(mask)) return;
  } while (!Terminated() && Com->Active());
}

bool TCommThread::Post(std::uint32_t Mask) {
  while (!Terminated() && Com->IsOpened()) {
    if (App().PostToThread(msgThread_, MsgComEvent(), Mask, 0)) return true;
    // The message worker's queue exists from its start on, so a post fails only once it has
    // ended; waiting longer would spin for nothing.
    if (msgThreadEnded_ && msgThreadEnded_->load()) return false;
    std::this_thread::yield();
  }
  return true;
}

}  // namespace sk
