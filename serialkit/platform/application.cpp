#include "serialkit/platform/application.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "serialkit/core/exception.h"
#include "serialkit/platform/stop_signal.h"
#include "serialkit/platform/system_queue.h"
#include "serialkit/platform/thread_exit.h"
#include "serialkit/platform/tick.h"
#include "serialkit/platform/wake_event.h"

namespace sk::platform {

using Clock = std::chrono::steady_clock;

namespace {

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

// Where the system has queues of its own, thread messages and quits travel in those and this
// keeps the calls; the owner then waits on the event, which it can wait on along with them.
struct Queue {
  std::deque<Item> items;
  int quits = 0;
  bool woken = false;
  std::condition_variable cv;
  // Signalled along with cv while the owner waits on a descriptor too (ReceiveMessageOr), and
  // always where the owner waits on its system queue.
  std::unique_ptr<WakeEvent> descriptorWait;
  bool waitingOnDescriptor = false;
  sysqueue::TSystemThread systemThread = 0;  // 0 until the owner has made its system queue

  Queue() {
    if constexpr (sysqueue::kUsed) descriptorWait = std::make_unique<WakeEvent>();
  }

  void NotifyAll() {
    cv.notify_all();
    SignalDescriptor();
  }
  void SignalDescriptor() {
    if (waitingOnDescriptor || sysqueue::kUsed) descriptorWait->Signal();
  }

  // Waits, the lock held before and after, until notified or Deadline; with SystemInput also
  // until input comes to the owner's system queue, and then true.
  bool WaitNotified(std::unique_lock<std::mutex>& Lock, Clock::time_point Deadline,
                    bool SystemInput);

  // The first posted message in [Min, Max]; calls to be run are not messages.
  std::deque<Item>::iterator FindPosted(std::uint32_t Min, std::uint32_t Max);
  enum class Taken { nothing, message, quit };
  // Takes that message into Msg, else a quit asked for; under the state's lock.
  Taken TakePosted(TMsg& Msg, std::uint32_t Min, std::uint32_t Max) {
    if (auto it = FindPosted(Min, Max); it != items.end()) {
      Msg = it->msg;
      items.erase(it);
      return Taken::message;
    }
    if (quits == 0) return Taken::nothing;
    --quits;
    return Taken::quit;
  }
};

struct Timer {
  TThreadID owner = 0;
  std::shared_ptr<sysqueue::SystemTimer> system;  // where the system's timers tick it
  std::shared_ptr<std::function<void()>> onTick;
  std::uint32_t interval = 0;  // 0: disarmed
  Clock::time_point due;
  TThreadID runningIn = 0;
};

bool InRange(std::uint32_t m, std::uint32_t min, std::uint32_t max) {
  return (min == 0 && max == 0) || (m >= min && m <= max);
}

bool Queue::WaitNotified(std::unique_lock<std::mutex>& Lock, Clock::time_point Deadline,
                         bool SystemInput) {
  if constexpr (!sysqueue::kUsed) {
    cv.wait_until(Lock, Deadline);
    return false;
  }
  // Reset under the lock: whoever notifies holds it, so no signal is lost.
  descriptorWait->Reset();
  int ms = -1;
  if (Deadline != Clock::time_point::max()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(Deadline - Clock::now());
    ms = static_cast<int>(std::clamp<long long>(left.count(), 0, 0x7FFFFFFE));
  }
  Lock.unlock();
  const int r = SystemInput ? sysqueue::Wait({descriptorWait->Native()}, ms, true)
                            : WaitReadable({descriptorWait->Native()}, ms);
  Lock.lock();
  return SystemInput && r == 1;
}

std::deque<Item>::iterator Queue::FindPosted(std::uint32_t Min, std::uint32_t Max) {
  return std::find_if(items.begin(), items.end(),
                      [&](const Item& i) { return !i.call && InRange(i.msg.message, Min, Max); });
}

// The console stands in for a message box: a lone carriage return separates lines there.
std::string ForConsole(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))
      out += '\n';
    else
      out += text[i];
  }
  return out;
}

// The thread that runs static initialisation is the program's main thread. Whichever asks
// first during start-up (this initialiser or an early Application()) fixes it.
TThreadID StartupThread() {
  static const TThreadID id = CurrentThreadId();
  return id;
}
[[maybe_unused]] const TThreadID kStartupThread = StartupThread();

}  // namespace

struct TApplication::State {
  mutable std::mutex mutex;
  TThreadID main = 0;
  bool closed = false;
  std::map<TThreadID, std::shared_ptr<Queue>> queues;
  std::map<TTimerID, Timer> timers;
  TTimerID nextTimer = 1;
  std::condition_variable timerIdle;
  std::function<void(const TMsg&)> messageHandler;
  std::function<void(TThreadID)> postedHook;
  std::function<void(const std::string&)> errorReport;

  std::shared_ptr<Queue> Find(TThreadID t) const {
    auto it = queues.find(t);
    return it == queues.end() ? nullptr : it->second;
  }
  void Notify(TThreadID t) {
    if (auto q = Find(t)) q->NotifyAll();
  }
  // Calls the posted hook outside the lock.
  void Posted(TThreadID t) {
    std::function<void(TThreadID)> hook;
    {
      std::lock_guard lock(mutex);
      hook = postedHook;
    }
    if (hook) hook(t);
  }
  std::shared_ptr<Queue> EnsureQueue(TThreadID t, const std::shared_ptr<State>& self);
  bool Enqueue(TThreadID t, Item item);
  // Queues a call to q, under the lock; where the system keeps the thread's messages, a mark
  // among them keeps the call's place.
  void PushCall(Queue& q, std::shared_ptr<Call> call);
  // Takes the call numbered Seq, or else (Seq 0) the first one numbered below Before.
  std::optional<Item> TakeCall(Queue& q, std::uint64_t Seq, std::uint64_t Before = 0);
  // Serves one item in the calling thread: a message goes to Handler.
  void Serve(Item& item, const std::function<void(const TMsg&)>& Handler);
  std::uint64_t nextCall = 1;
  std::vector<TTimerID> DueTimers(TThreadID t, Clock::time_point now) const {
    std::vector<TTimerID> due;
    for (const auto& [id, timer] : timers)
      if (timer.owner == t && timer.interval != 0 && timer.due <= now) due.push_back(id);
    return due;
  }
  // Runs timer Id's tick in the calling thread, if it is still armed (and due, with
  // CheckDue: the system's timers keep their own time). True if it ticked.
  bool RunTick(TTimerID Id, TThreadID Self, bool CheckDue);
  void ShowError(const std::string& Message);
  void Report(std::exception_ptr E);
  Clock::time_point NextDue(TThreadID t) const {
    Clock::time_point next = Clock::time_point::max();
    for (const auto& [id, timer] : timers)
      if (timer.owner == t && timer.interval != 0) next = std::min(next, timer.due);
    return next;
  }
};

// Called by thread t itself.
std::shared_ptr<Queue> TApplication::State::EnsureQueue(TThreadID t,
                                                        const std::shared_ptr<State>& self) {
  std::shared_ptr<Queue> q;
  bool created = false;
  {
    std::lock_guard lock(mutex);
    q = Find(t);
    if (!q) {
      q = queues[t] = std::make_shared<Queue>();
      created = true;
    }
    if (!created && (!sysqueue::kUsed || q->systemThread != 0)) return q;
  }
  if constexpr (sysqueue::kUsed) {
    const auto system = sysqueue::CreateForThisThread();
    std::lock_guard lock(mutex);
    q->systemThread = system;
  }
  if (created && t != main) {
    // Posts to an ended thread fail: its queue goes with it.
    AtThreadExit([weak = std::weak_ptr<State>(self), t] {
      if (auto s = weak.lock()) {
        std::lock_guard lock(s->mutex);
        s->queues.erase(t);
      }
    });
  }
  return q;
}

void TApplication::State::PushCall(Queue& q, std::shared_ptr<Call> call) {
  const std::uint64_t seq = nextCall++;
  q.items.push_back(Item{TMsg{}, std::move(call), seq});
  if (sysqueue::kUsed && q.systemThread != 0)
    sysqueue::Post(q.systemThread,
                   TMsg{sysqueue::kCallMessage, 0, static_cast<std::intptr_t>(seq)});
  q.NotifyAll();
}

std::optional<Item> TApplication::State::TakeCall(Queue& q, std::uint64_t Seq,
                                                  std::uint64_t Before) {
  std::lock_guard lock(mutex);
  const auto it = std::find_if(q.items.begin(), q.items.end(), [&](const Item& i) {
    return i.call && (Seq != 0 ? i.seq == Seq : i.seq < Before);
  });
  if (it == q.items.end()) return std::nullopt;
  Item item = std::move(*it);
  q.items.erase(it);
  return item;
}

void TApplication::State::Serve(Item& item, const std::function<void(const TMsg&)>& Handler) {
  if (!item.call) {
    if (!Handler) return;
    try {
      Handler(item.msg);
    } catch (...) {
      Report(std::current_exception());
    }
  } else if (!item.call->sync) {
    try {
      item.call->fn();
    } catch (...) {
      Report(std::current_exception());
    }
  } else {
    std::exception_ptr error;
    try {
      item.call->fn();
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard lock(mutex);
    item.call->error = std::move(error);
    item.call->done = true;
    item.call->finished.notify_all();
  }
}

bool TApplication::State::RunTick(TTimerID Id, TThreadID Self, bool CheckDue) {
  std::shared_ptr<std::function<void()>> tick;
  {
    std::lock_guard lock(mutex);
    auto it = timers.find(Id);
    // An earlier tick may have disarmed or removed it: it must not tick then.
    if (it == timers.end() || it->second.interval == 0) return false;
    const auto now = Clock::now();
    if (CheckDue && it->second.due > now) return false;
    it->second.due = now + std::chrono::milliseconds(it->second.interval);
    it->second.runningIn = Self;
    tick = it->second.onTick;
  }
  try {
    (*tick)();
  } catch (...) {
    Report(std::current_exception());
  }
  std::lock_guard lock(mutex);
  if (auto it = timers.find(Id); it != timers.end()) it->second.runningIn = 0;
  timerIdle.notify_all();
  return true;
}

void TApplication::State::ShowError(const std::string& Message) {
  std::function<void(const std::string&)> report;
  {
    std::lock_guard lock(mutex);
    report = errorReport;
  }
  if (report)
    report(Message);
  else
    std::cerr << ForConsole(Message) << std::endl;
}

void TApplication::State::Report(std::exception_ptr E) {
  if (!E) return;
  try {
    std::rethrow_exception(E);
  } catch (const std::exception& e) {
    ShowError(e.what());
  } catch (...) {
    ShowError("Unknown exception");
  }
}

bool TApplication::State::Enqueue(TThreadID t, Item item) {
  {
    std::lock_guard lock(mutex);
    auto q = Find(t);
    if (!q) return false;
    if (item.call) {
      PushCall(*q, std::move(item.call));
    } else {
      q->items.push_back(std::move(item));
      q->NotifyAll();
    }
  }
  Posted(t);
  return true;
}

TApplication::TApplication(TThreadID Main) : state_(std::make_shared<State>()) {
  state_->main = Main;
  auto q = state_->queues[Main] = std::make_shared<Queue>();
  // Made here when the main thread makes the object, else at the main thread's first call.
  if (sysqueue::kUsed && Main == CurrentThreadId())
    q->systemThread = sysqueue::CreateForThisThread();
}

TApplication::~TApplication() {
  std::lock_guard lock(state_->mutex);
  state_->closed = true;
  if (auto q = state_->Find(state_->main)) {
    for (auto& item : q->items)
      if (item.call && item.call->sync && !item.call->done) {
        item.call->error = std::make_exception_ptr(
            sk::Exception("The application ended before a synchronized call ran"));
        item.call->done = true;
        item.call->finished.notify_all();
      }
    q->items.clear();
  }
}

TThreadID TApplication::MainThreadId() const {
  return state_->main;
}

TThreadID TApplication::EnsureMessageQueue() {
  const TThreadID self = CurrentThreadId();
  state_->EnsureQueue(self, state_);
  return self;
}

bool TApplication::PostToThread(TThreadID Thread, std::uint32_t Message, std::uintptr_t wParam,
                                std::intptr_t lParam) {
  const TMsg msg{Message, wParam, lParam, GetTickCount()};
  if constexpr (sysqueue::kUsed) {
    {
      std::lock_guard lock(state_->mutex);
      auto q = state_->Find(Thread);
      if (!q || q->systemThread == 0 || !sysqueue::Post(q->systemThread, msg)) return false;
      q->NotifyAll();  // a receive of a range waits on the queue's event
    }
    state_->Posted(Thread);
    return true;
  }
  return state_->Enqueue(Thread, Item{msg, nullptr});
}

bool TApplication::ReceiveMessage(TMsg& Msg, std::uint32_t Min, std::uint32_t Max) {
  auto s = state_;
  auto q = s->EnsureQueue(CurrentThreadId(), s);
  if constexpr (sysqueue::kUsed)
    return sysqueue::Take(Msg, Min, Max, true, true, q->descriptorWait->Native()) ==
           sysqueue::TTaken::message;
  std::unique_lock lock(s->mutex);
  for (;;) {
    if (const auto got = q->TakePosted(Msg, Min, Max); got != Queue::Taken::nothing)
      return got == Queue::Taken::message;
    q->cv.wait(lock);
  }
}

TApplication::TReceived TApplication::ReceiveMessageOr(TMsg& Msg, std::uint32_t Min,
                                                       std::uint32_t Max, std::intptr_t Handle) {
  auto s = state_;
  auto q = s->EnsureQueue(CurrentThreadId(), s);
  bool readable = false;
  if constexpr (sysqueue::kUsed) {
    for (;;) {
      q->descriptorWait->Reset();  // before the look: a post after it signals again
      switch (sysqueue::Take(Msg, Min, Max, false, true)) {
        case sysqueue::TTaken::message:
          return TReceived::message;
        case sysqueue::TTaken::quit:
          return TReceived::quit;
        case sysqueue::TTaken::none:
          break;
      }
      if (readable) return TReceived::readable;
      readable = sysqueue::Wait({q->descriptorWait->Native(), Handle}, -1, false) == 1;
    }
  }
  std::unique_lock lock(s->mutex);
  if (!q->descriptorWait) q->descriptorWait = std::make_unique<WakeEvent>();
  for (;;) {
    if (const auto got = q->TakePosted(Msg, Min, Max); got != Queue::Taken::nothing)
      return got == Queue::Taken::message ? TReceived::message : TReceived::quit;
    if (readable) return TReceived::readable;
    q->waitingOnDescriptor = true;
    lock.unlock();
    readable = WaitReadable({q->descriptorWait->Native(), Handle}, -1) == 1;
    lock.lock();
    q->waitingOnDescriptor = false;
    q->descriptorWait->Reset();
  }
}

bool TApplication::PollMessage(TMsg& Msg, std::uint32_t Min, std::uint32_t Max, bool Remove) {
  auto s = state_;
  auto q = s->EnsureQueue(CurrentThreadId(), s);
  if constexpr (sysqueue::kUsed) {
    const auto taken = sysqueue::Take(Msg, Min, Max, false, Remove);
    // A quit is not a message: it stays for the receive it is meant to end.
    if (taken == sysqueue::TTaken::quit && Remove) sysqueue::PostQuit(q->systemThread);
    return taken == sysqueue::TTaken::message;
  }
  std::lock_guard lock(s->mutex);
  const auto it = q->FindPosted(Min, Max);
  if (it == q->items.end()) return false;
  Msg = it->msg;
  if (Remove) q->items.erase(it);
  return true;
}

bool TApplication::PostQuit(TThreadID Thread) {
  {
    std::lock_guard lock(state_->mutex);
    auto q = state_->Find(Thread);
    if (!q) return false;
    if constexpr (sysqueue::kUsed) {
      if (q->systemThread == 0 || !sysqueue::PostQuit(q->systemThread)) return false;
    } else {
      ++q->quits;
    }
    q->NotifyAll();
  }
  state_->Posted(Thread);
  return true;
}

bool TApplication::ProcessMessages() {
  auto s = state_;
  const TThreadID self = CurrentThreadId();
  auto q = s->EnsureQueue(self, s);
  std::deque<Item> items;
  std::function<void(const TMsg&)> handler;
  std::uint64_t before = 0;
  {
    std::lock_guard lock(s->mutex);
    if (!sysqueue::kUsed) items.swap(q->items);
    q->woken = false;
    handler = s->messageHandler;
    before = s->nextCall;
  }
  bool served = false;
  for (auto& item : items) {
    served = true;
    s->Serve(item, handler);
  }
  if constexpr (sysqueue::kUsed) {
    // Thread messages and timer ticks wait in the system's queue.
    served = sysqueue::Drain([&](const TMsg& Msg) {
      if (Msg.message != sysqueue::kCallMessage) {
        Item item{Msg, nullptr};
        s->Serve(item, handler);
      } else if (auto call = s->TakeCall(*q, static_cast<std::uint64_t>(Msg.lParam))) {
        s->Serve(*call, handler);
      }
    });
    // Calls whose mark a receive took, or that got none, run after the batch.
    while (auto call = s->TakeCall(*q, 0, before)) {
      served = true;
      s->Serve(*call, handler);
    }
    return served;
  }
  std::vector<TTimerID> due;
  {
    std::lock_guard lock(s->mutex);
    due = s->DueTimers(self, Clock::now());
  }
  for (TTimerID id : due) served |= s->RunTick(id, self, true);
  return served;
}

bool TApplication::ProcessMessages(std::uint32_t WaitMs) {
  auto s = state_;
  const TThreadID self = CurrentThreadId();
  auto q = s->EnsureQueue(self, s);
  const auto deadline = WaitMs == kInfinite ? Clock::time_point::max()
                                            : Clock::now() + std::chrono::milliseconds(WaitMs);
  bool woken = false;
  {
    std::unique_lock lock(s->mutex);
    for (;;) {
      if (!q->items.empty() || q->woken) break;
      if constexpr (sysqueue::kUsed) {
        // The system's queue holds the messages and timers, so its input ends the wait.
        if (Clock::now() >= deadline) {
          lock.unlock();
          return ProcessMessages();
        }
        if (q->WaitNotified(lock, deadline, true)) break;
        continue;
      }
      const auto next = s->NextDue(self);
      const auto now = Clock::now();
      if (next <= now) break;
      if (now >= deadline) return false;
      q->cv.wait_until(lock, std::min(next, deadline));
    }
    woken = q->woken;
  }
  return ProcessMessages() || woken;
}

bool TApplication::RunUntil(const std::function<bool()>& Done, std::uint32_t TimeoutMs) {
  // Done may watch a value that another thread sets without waking this one.
  constexpr auto kSlice = std::chrono::milliseconds(10);
  const TStopSignalWatch watch;
  const auto deadline = TimeoutMs == kInfinite
                            ? Clock::time_point::max()
                            : Clock::now() + std::chrono::milliseconds(TimeoutMs);
  for (;;) {
    if (Done()) return true;
    if (TStopSignalWatch::Requested()) return false;
    const auto now = Clock::now();
    if (now >= deadline) return false;
    const auto wait = std::min<Clock::duration>(kSlice, deadline - now);
    ProcessMessages(
        static_cast<std::uint32_t>(std::chrono::ceil<std::chrono::milliseconds>(wait).count()));
  }
}

bool TApplication::StopRequested() {
  return TStopSignalWatch::Requested();
}

void TApplication::WakeUp(TThreadID Thread) {
  std::shared_ptr<Queue> q;
  std::function<void(TThreadID)> hook;
  {
    std::lock_guard lock(state_->mutex);
    q = state_->Find(Thread);
    if (!q) return;
    q->woken = true;
    q->SignalDescriptor();
    hook = state_->postedHook;
  }
  // Outside the lock: a thread woken while the lock is still held would only wait for it.
  // The waiter looks at the flag under the lock before it sleeps, so the wake-up is not lost.
  q->cv.notify_all();
  if (hook) hook(Thread);
}

bool TApplication::WaitServing(const std::function<bool()>& Done, std::uint32_t TimeoutMs) {
  auto s = state_;
  auto q = s->EnsureQueue(CurrentThreadId(), s);
  const auto deadline = TimeoutMs == kInfinite
                            ? Clock::time_point::max()
                            : Clock::now() + std::chrono::milliseconds(TimeoutMs);
  auto hasSync = [&] {
    return std::any_of(q->items.begin(), q->items.end(),
                       [](const Item& i) { return i.call && i.call->sync; });
  };
  for (;;) {
    if (Done()) return true;
    std::vector<std::shared_ptr<Call>> calls;
    {
      std::unique_lock lock(s->mutex);
      while (!q->woken && !hasSync()) {
        if (Clock::now() >= deadline) return false;
        q->WaitNotified(lock, deadline, false);
      }
      q->woken = false;
      for (auto it = q->items.begin(); it != q->items.end();) {
        if (it->call && it->call->sync) {
          calls.push_back(std::move(it->call));
          it = q->items.erase(it);
        } else {
          ++it;
        }
      }
    }
    for (auto& call : calls) {
      std::exception_ptr error;
      try {
        call->fn();
      } catch (...) {
        error = std::current_exception();
      }
      std::lock_guard lock(s->mutex);
      call->error = std::move(error);
      call->done = true;
      call->finished.notify_all();
    }
  }
}

void TApplication::SetMessageHandler(std::function<void(const TMsg&)> Handler) {
  std::lock_guard lock(state_->mutex);
  state_->messageHandler = std::move(Handler);
}

void TApplication::Synchronize(const std::function<void()>& Fn) {
  auto s = state_;
  if (CurrentThreadId() == s->main) {
    Fn();
    return;
  }
  auto call = std::make_shared<Call>();
  call->fn = Fn;
  call->sync = true;
  {
    std::lock_guard lock(s->mutex);
    auto q = s->Find(s->main);
    if (s->closed || !q) throw sk::Exception("The application has ended");
    s->PushCall(*q, call);
  }
  s->Posted(s->main);
  std::unique_lock lock(s->mutex);
  call->finished.wait(lock, [&] { return call->done; });
  // The exception object leaves the main thread whole: only this thread holds it from now.
  std::exception_ptr error = std::move(call->error);
  lock.unlock();
  if (error) std::rethrow_exception(error);
}

bool TApplication::PostCall(TThreadID Thread, std::function<void()> Fn) {
  auto call = std::make_shared<Call>();
  call->fn = std::move(Fn);
  return state_->Enqueue(Thread, Item{TMsg{}, call});
}

TTimerID TApplication::CreateTimer(std::function<void()> OnTick) {
  const TThreadID self = CurrentThreadId();
  TTimerID id = 0;
  {
    std::lock_guard lock(state_->mutex);
    id = state_->nextTimer++;
  }
  std::shared_ptr<sysqueue::SystemTimer> system;
  if constexpr (sysqueue::kUsed) {
    system =
        std::make_shared<sysqueue::SystemTimer>([weak = std::weak_ptr<State>(state_), id, self] {
          if (auto s = weak.lock()) s->RunTick(id, self, false);
        });
  }
  std::lock_guard lock(state_->mutex);
  Timer& t = state_->timers[id];
  t.owner = self;
  t.onTick = std::make_shared<std::function<void()>>(std::move(OnTick));
  t.system = std::move(system);
  return id;
}

void TApplication::SetTimer(TTimerID Timer, std::uint32_t IntervalMs) {
  TThreadID owner = 0;
  std::shared_ptr<sysqueue::SystemTimer> system;
  {
    std::lock_guard lock(state_->mutex);
    auto it = state_->timers.find(Timer);
    if (it == state_->timers.end()) return;
    it->second.interval = IntervalMs;
    it->second.due = Clock::now() + std::chrono::milliseconds(IntervalMs);
    owner = it->second.owner;
    system = it->second.system;
    state_->Notify(owner);
  }
  if (system) system->Arm(IntervalMs);
  state_->Posted(owner);
}

void TApplication::DestroyTimer(TTimerID Timer) {
  const TThreadID self = CurrentThreadId();
  std::unique_lock lock(state_->mutex);
  auto running = [&] {
    auto it = state_->timers.find(Timer);
    return it != state_->timers.end() && it->second.runningIn != 0 && it->second.runningIn != self;
  };
  state_->timerIdle.wait(lock, [&] { return !running(); });
  std::shared_ptr<sysqueue::SystemTimer> system;
  if (auto it = state_->timers.find(Timer); it != state_->timers.end()) {
    system = std::move(it->second.system);
    state_->timers.erase(it);
  }
  lock.unlock();  // the system's timer goes without the lock: its window may be destroyed now
}

std::uint32_t TApplication::MillisecondsToNextTimer(TThreadID Thread) const {
  std::lock_guard lock(state_->mutex);
  const auto next = state_->NextDue(Thread);
  if (next == Clock::time_point::max()) return kInfinite;
  const auto now = Clock::now();
  if (next <= now) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
  return static_cast<std::uint32_t>(std::min<long long>(ms, kInfinite - 1));
}

void TApplication::SetPostedHook(std::function<void(TThreadID)> Hook) {
  std::lock_guard lock(state_->mutex);
  state_->postedHook = std::move(Hook);
}

void TApplication::ShowError(const std::string& Message) {
  state_->ShowError(Message);
}

void TApplication::ShowException(std::exception_ptr E) {
  state_->Report(std::move(E));
}

void TApplication::SetErrorReport(std::function<void(const std::string&)> Report) {
  std::lock_guard lock(state_->mutex);
  state_->errorReport = std::move(Report);
}

TApplication& Application() {
  static TApplication app(StartupThread());
  return app;
}

}  // namespace sk::platform
