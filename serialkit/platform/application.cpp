// The application object over its state (application_state.h): calls into the main thread,
// waits that serve them, the console loop, and the forwarding of queue and timer requests.
#include "serialkit/platform/application.h"

#include <algorithm>
#include <chrono>

#include "serialkit/core/exception.h"
#include "serialkit/platform/application_state.h"
#include "serialkit/platform/stop_signal.h"
#include "serialkit/platform/tick.h"

namespace sk::platform {

using Clock = app::Clock;
using app::Call;
using app::Item;
using app::Queue;

namespace {

// The thread that runs static initialisation is the program's main thread. Whichever asks
// first during start-up (this initialiser or an early Application()) fixes it.
TThreadID StartupThread() {
  static const TThreadID id = CurrentThreadId();
  return id;
}
[[maybe_unused]] const TThreadID kStartupThread = StartupThread();

}  // namespace

TApplication::TApplication(TThreadID Main) : state_(NewApplicationState()) {
  state_->main = Main;
  auto q = state_->queues[Main] = state_->NewQueue();
  // Bound here when the main thread makes the object, else at the main thread's first call.
  if (Main == CurrentThreadId()) state_->BindToThisThread(*q);
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
  return state_->Post(Thread, TMsg{Message, wParam, lParam, GetTickCount()});
}

bool TApplication::ReceiveMessage(TMsg& Msg, std::uint32_t Min, std::uint32_t Max) {
  auto s = state_;
  auto q = s->EnsureQueue(CurrentThreadId(), s);
  return s->Receive(*q, Msg, Min, Max);
}

TApplication::TReceived TApplication::ReceiveMessageOr(TMsg& Msg, std::uint32_t Min,
                                                       std::uint32_t Max, std::intptr_t Handle) {
  auto s = state_;
  auto q = s->EnsureQueue(CurrentThreadId(), s);
  return s->ReceiveOr(*q, Msg, Min, Max, Handle);
}

bool TApplication::PollMessage(TMsg& Msg, std::uint32_t Min, std::uint32_t Max, bool Remove) {
  auto s = state_;
  auto q = s->EnsureQueue(CurrentThreadId(), s);
  return s->Poll(*q, Msg, Min, Max, Remove);
}

bool TApplication::PostQuit(TThreadID Thread) {
  {
    std::lock_guard lock(state_->mutex);
    auto q = state_->Find(Thread);
    if (!q || !state_->QueueQuit(*q)) return false;
    q->NotifyAll();
  }
  state_->Posted(Thread);
  return true;
}

bool TApplication::ProcessMessages() {
  auto s = state_;
  const TThreadID self = CurrentThreadId();
  auto q = s->EnsureQueue(self, s);
  return s->ServePending(*q, self);
}

bool TApplication::ProcessMessages(std::uint32_t WaitMs) {
  auto s = state_;
  const TThreadID self = CurrentThreadId();
  auto q = s->EnsureQueue(self, s);
  const auto deadline = WaitMs == kInfinite ? Clock::time_point::max()
                                            : Clock::now() + std::chrono::milliseconds(WaitMs);
  return s->ServeWithin(*q, self, deadline);
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
        s->WaitNotified(*q, lock, deadline);
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
  state_->AddSystemTimer(id, self);
  std::lock_guard lock(state_->mutex);
  app::Timer& t = state_->timers[id];
  t.owner = self;
  t.onTick = std::make_shared<std::function<void()>>(std::move(OnTick));
  return id;
}

void TApplication::SetTimer(TTimerID Timer, std::uint32_t IntervalMs) {
  TThreadID owner = 0;
  {
    std::lock_guard lock(state_->mutex);
    auto it = state_->timers.find(Timer);
    if (it == state_->timers.end()) return;
    it->second.interval = IntervalMs;
    it->second.due = Clock::now() + std::chrono::milliseconds(IntervalMs);
    owner = it->second.owner;
    state_->Notify(owner);
  }
  state_->ArmSystemTimer(Timer, IntervalMs);
  state_->Posted(owner);
}

void TApplication::DestroyTimer(TTimerID Timer) {
  const TThreadID self = CurrentThreadId();
  {
    std::unique_lock lock(state_->mutex);
    auto running = [&] {
      auto it = state_->timers.find(Timer);
      return it != state_->timers.end() && it->second.runningIn != 0 &&
             it->second.runningIn != self;
    };
    state_->timerIdle.wait(lock, [&] { return !running(); });
    state_->timers.erase(Timer);
  }
  // Without the lock: the system's timer window may be destroyed now.
  state_->RemoveSystemTimer(Timer);
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
