#pragma once
// The system's own message queue of each thread and its window timers. The application object
// posts thread messages into the system queue, so that any code that pumps it (a GUI toolkit's
// loop, a modal dialog) keeps them in order with the system's, and its timers are window timers
// of a hidden window (system_queue_state.cpp).
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>

#include "serialkit/platform/messages.h"

namespace sk::platform::sysqueue {

// Marks a call's place among a thread's messages (the call's number in lParam). Below the
// registered range, so that threads taking only registered messages never meet one; Take drops
// those it meets.
inline constexpr std::uint32_t kCallMessage = 0xBFF3;

// The system's id of a thread (not a TThreadID, which is never reused).
using TSystemThread = std::uint32_t;

// Makes sure the calling thread has a queue, and returns its system id.
TSystemThread CreateForThisThread();

// Posts a thread message. False when the thread has no queue or the queue is full.
bool Post(TSystemThread Thread, const TMsg& Msg);
// Posts the quit message, which ends one wait in Take.
bool PostQuit(TSystemThread Thread);

enum class TTaken { none, message, quit };
// Takes the first thread message with a number in [Min, Max] (both 0: any) off the calling
// thread's queue; window messages met on the way go to their windows. Wait: blocks until one
// comes; a range without the quit message then needs WakeEvent, an event that whoever posts
// to the thread signals after posting (Take resets it). Remove false: leaves it queued. A quit
// taken is gone: whoever keeps it posts it again.
TTaken Take(TMsg& Msg, std::uint32_t Min, std::uint32_t Max, bool Wait, bool Remove,
            std::intptr_t WakeEvent = -1);

// Waits at most TimeoutMs (-1: no limit) for one of Handles to be signalled or for input to
// the calling thread's queue: any input there (Queued), or only messages posted or sent since
// the thread last looked at it (so that messages a filtered Take leaves do not end every wait;
// a look clears that, so a wait for posts that may come between looks also takes an event). The
// index of the signalled handle, Handles.size() for queue input, -1 when the time ran out.
int Wait(std::initializer_list<std::intptr_t> Handles, int TimeoutMs, bool Queued);

// Serves what the calling thread's queue holds now: window messages (timer ticks) go to their
// windows, thread messages to OnMessage, in queue order; a quit met is posted again at the
// end. True if anything was served.
bool Drain(const std::function<void(const TMsg&)>& OnMessage);

// A timer of the calling thread: a hidden window whose system timer runs OnTick in that
// thread when its queue is served. It may be armed and destroyed from any thread; the window
// itself goes in its own thread, or with it.
class SystemTimer {
 public:
  explicit SystemTimer(std::function<void()> OnTick);  // throws sk::Exception on failure
  ~SystemTimer();
  SystemTimer(const SystemTimer&) = delete;
  SystemTimer& operator=(const SystemTimer&) = delete;

  // Ticks every IntervalMs from now on; 0 stops it.
  void Arm(std::uint32_t IntervalMs);

 private:
  std::intptr_t window_ = 0;
  TSystemThread owner_ = 0;
};

}  // namespace sk::platform::sysqueue
