#include "serialkit/comm/msg_thread.h"

#include "serialkit/comm/comm_messages.h"
#include "serialkit/comm/custom_comm.h"
#include "serialkit/platform/serial_device.h"

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
  using Received = platform::TApplication::TReceived;
  // Cleared when watching the input found nothing to read (bytes left for the event worker to
  // report, line errors, a hang-up), so that a device that stays readable cannot spin this
  // thread; the next posted event sets it again.
  bool watchInput = true;
  // The device whose input this thread watches; the event worker leaves the input alone
  // meanwhile. Bytes arriving while a handler runs wait in the driver, whose buffers hold more
  // than the device's own.
  struct Watched {
    THandle device;
    void Set(THandle d) {
      if (d == device) return;
      if (device) device->WatchInput(false);
      device = std::move(d);
      if (device) device->WatchInput(true);
    }
    ~Watched() { Set(nullptr); }
  } watched;
  for (;;) {
    if (Terminated()) return;
    // Only registered messages: anything else posted to this thread stays where it is. With
    // nothing posted, input is taken as soon as it arrives: one thread hand-off less.
    watched.Set(watchInput ? Com->InputToWatch() : nullptr);
    const Received got = watched.device ? ReceiveOrInput(*watched.device)
                         : App().ReceiveMessage(glMsg, platform::kFirstRegisteredMessage,
                                                platform::kLastRegisteredMessage)
                             ? Received::message
                             : Received::quit;
    if (got == Received::quit) return;
    if (got == Received::readable) {
      // Handled as the receive event the event worker would post for it.
      glMsg = platform::TMsg{comEvent, EV_RXCHAR, 0, 0};
      const std::uint64_t before = Com->chunksRead_.load();
      if (!Com->Active() || Terminated()) return;
      Handle();
      watchInput = Com->chunksRead_.load() != before;
      continue;
    }
    watchInput = true;
    // An event taken after the port was closed is not handled.
    if (!Com->Active() || Terminated() || glMsg.message == quit) return;
    // Other registered messages would go to a window; this thread has none.
    if (glMsg.message != comEvent) continue;
    Handle();
  }
}

platform::TApplication::TReceived TMsgThread::ReceiveOrInput(platform::SerialDevice& Input) {
  return App().ReceiveMessageOr(glMsg, platform::kFirstRegisteredMessage,
                                platform::kLastRegisteredMessage, Input.InputWaitHandle());
}

void TMsgThread::Handle() {
  if (Com->UseMainThread()) {
    // The main thread handles it while this one waits; a close that began meanwhile drops it.
    Synchronize([this] {
      if (!Terminated()) Com->HandleCommEvent(glMsg);
    });
  } else {
    Com->HandleCommEvent(glMsg);
  }
}

}  // namespace sk
