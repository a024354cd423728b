#include "comm/msg_thread.h"

#include "comm/comm_messages.h"
#include "comm/custom_comm.h"

namespace sk {

TMsgThread::TMsgThread(TskCustomComm& AOwner) : TThread(AOwner.App()), Com(&AOwner) {
  Start();
}

TMsgThread::~TMsgThread() {
  if (ThreadID() != platform::CurrentThreadId())
    Stop();
  else
    Terminate();
}

void TMsgThread::Terminate() {
  TThread::Terminate();
  App().PostToThread(ThreadID(), MsgQuitComEvent(), 0, 0);
}

void TMsgThread::Execute() {
  struct MarkEnded {
    std::atomic<bool>& ended;
    ~MarkEnded() { ended.store(true); }
  } markEnded{*ended_};
  if (Com == nullptr) return;
  const std::uint32_t comEvent = MsgComEvent();
  const std::uint32_t quit = MsgQuitComEvent();
  for (;;) {
    if (Terminated()) return;
    // Only registered messages: anything else posted to this thread stays where it is.
    if (!App().ReceiveMessage(glMsg, platform::kFirstRegisteredMessage,
                              platform::kLastRegisteredMessage))
      return;
    // An event taken after the port was closed is not handled.
    if (!Com->Active() || Terminated() || glMsg.message == quit) return;
    // Other registered messages would go to a window; this thread has none.
    if (glMsg.message != comEvent) continue;
    if (Com->UseMainThread()) {
      // The main thread handles it while this one waits; a close that began meanwhile
      // drops it.
      Synchronize([this] {
        if (!Terminated()) Com->HandleCommEvent(glMsg);
      });
    } else {
      Com->HandleCommEvent(glMsg);
    }
  }
}

}  // namespace sk
