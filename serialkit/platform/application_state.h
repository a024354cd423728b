#pragma once
// What the application object keeps: each thread's queue of calls (and, where the system has no
// queues of its own, of thread messages and quits), the timers and the handlers. The state
// itself serves queues and ticks timers portably; a system whose threads have message queues of
// their own derives from it and routes thread messages, quits and timer ticks through those
// (win32/system_queue_state.cpp). NewApplicationState picks the system's kind at build time.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "serialkit/platform/application.h"
#include "serialkit/platform/wake_event.h"

namespace sk::platform {

namespace app {

using Clock = std::chrono::steady_clock;

// A call queued into a thread; synchronized calls are waited for by their caller.
struct Call {
  std::function<void()> fn;
  bool sync = false;
  bool done = false;
  std::exception_ptr error;
  std::condition_variable finished;
};

struct Item {
  TMsg msg;
  std::shared_ptr<Call> call;  // empty for a thread message
  std::uint64_t seq = 0;       // a call's number, which its mark in a system queue carries
};

bool InRange(std::uint32_t m, std::uint32_t min, std::uint32_t max);

// One thread's queue. Where the system keeps thread messages and quits, items holds only the
// calls, quits stays 0 and the owner waits on the event, which it can wait on along with those.
struct Queue {
  std::deque<Item> items;
  int quits = 0;
  bool woken = false;
  std::condition_variable cv;
  // Signalled along with cv while signalEvent is set: while the owner waits on a descriptor
  // too (ReceiveMessageOr), and always where the owner waits on its system queue.
  std::unique_ptr<WakeEvent> descriptorWait;
  bool signalEvent = false;

  void NotifyAll() {
    cv.notify_all();
    SignalDescriptor();
  }
  void SignalDescriptor() {
    if (signalEvent) descriptorWait->Signal();
  }

  // The first posted message in [Min, Max]; calls to be run are not messages.
  std::deque<Item>::iterator FindPosted(std::uint32_t Min, std::uint32_t Max);
  enum class Taken { nothing, message, quit };
  // Takes that message into Msg, else a quit asked for; under the state's lock.
  Taken TakePosted(TMsg& Msg, std::uint32_t Min, std::uint32_t Max);
};

struct Timer {
  TThreadID owner = 0;
  std::shared_ptr<std::function<void()>> onTick;
  std::uint32_t interval = 0;  // 0: disarmed
  Clock::time_point due;
  TThreadID runningIn = 0;
};

}  // namespace app

struct TApplication::State : std::enable_shared_from_this<TApplication::State> {
  using Clock = app::Clock;
  using Queue = app::Queue;
  using Item = app::Item;
  using Call = app::Call;
  using TReceived = TApplication::TReceived;

  virtual ~State() = default;

  mutable std::mutex mutex;
  TThreadID main = 0;
  bool closed = false;
  std::map<TThreadID, std::shared_ptr<Queue>> queues;
  std::map<TTimerID, app::Timer> timers;
  TTimerID nextTimer = 1;
  std::condition_variable timerIdle;
  std::function<void(const TMsg&)> messageHandler;
  std::function<void(TThreadID)> postedHook;
  std::function<void(const std::string&)> errorReport;
  std::uint64_t nextCall = 1;

  std::shared_ptr<Queue> Find(TThreadID t) const {
    auto it = queues.find(t);
    return it == queues.end() ? nullptr : it->second;
  }
  void Notify(TThreadID t) {
    if (auto q = Find(t)) q->NotifyAll();
  }
  // Calls the posted hook outside the lock.
  void Posted(TThreadID t);
  // Called by thread t itself.
  std::shared_ptr<Queue> EnsureQueue(TThreadID t, const std::shared_ptr<State>& self);
  bool Enqueue(TThreadID t, Item item);
  // Queues a call to q, under the lock.
  void PushCall(Queue& q, std::shared_ptr<Call> call);
  // Serves one item in the calling thread: a message goes to Handler.
  void Serve(Item& item, const std::function<void(const TMsg&)>& Handler);
  std::vector<TTimerID> DueTimers(TThreadID t, Clock::time_point now) const;
  // Runs timer Id's tick in the calling thread, if it is still armed (and due, with
  // CheckDue: the system's timers keep their own time). True if it ticked.
  bool RunTick(TTimerID Id, TThreadID Self, bool CheckDue);
  Clock::time_point NextDue(TThreadID t) const;
  void ShowError(const std::string& Message);
  void Report(std::exception_ptr E);

  // What a system with queues of its own does differently.

  virtual std::shared_ptr<Queue> NewQueue() const { return std::make_shared<Queue>(); }
  // Makes the calling thread's queue in the system too, once; q is that thread's.
  virtual void BindToThisThread(Queue&) {}
  // Keeps a queued call's place among the thread's messages; under the lock.
  virtual void MarkCall(Queue&, std::uint64_t /*Seq*/) {}
  virtual bool Post(TThreadID Thread, const TMsg& Msg);
  // Asks for a quit of q's owner; under the lock. False if it cannot be posted.
  virtual bool QueueQuit(Queue& q);
  virtual bool Receive(Queue& q, TMsg& Msg, std::uint32_t Min, std::uint32_t Max);
  virtual TReceived ReceiveOr(Queue& q, TMsg& Msg, std::uint32_t Min, std::uint32_t Max,
                              std::intptr_t Handle);
  virtual bool Poll(Queue& q, TMsg& Msg, std::uint32_t Min, std::uint32_t Max, bool Remove);
  // Serves what is pending for Self now (ProcessMessages()).
  virtual bool ServePending(Queue& q, TThreadID Self);
  // Waits until there is something to serve for Self, Deadline or a wake-up, then serves it.
  virtual bool ServeWithin(Queue& q, TThreadID Self, Clock::time_point Deadline);
  // Waits, the lock held before and after, until q is notified or Deadline.
  virtual void WaitNotified(Queue& q, std::unique_lock<std::mutex>& Lock,
                            Clock::time_point Deadline);
  // The system's side of timer Id of thread Owner: made before the timer is entered (it may
  // throw), armed after SetTimer outside the lock, released after the timer is gone.
  virtual void AddSystemTimer(TTimerID /*Id*/, TThreadID /*Owner*/) {}
  virtual void ArmSystemTimer(TTimerID /*Id*/, std::uint32_t /*IntervalMs*/) {}
  virtual void RemoveSystemTimer(TTimerID /*Id*/) {}
};

// The state of this system's kind.
std::shared_ptr<TApplication::State> NewApplicationState();

}  // namespace sk::platform
