// The application object's queues and timers where the application keeps them itself: each
// thread's messages, quits and calls in one queue under the state's lock, and timers that tick
// when their thread serves its queue.
#include "serialkit/platform/application_state.h"

#include <algorithm>
#include <iostream>

#include "serialkit/platform/thread_exit.h"

namespace sk::platform {

namespace app {

namespace {

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

}  // namespace

bool InRange(std::uint32_t m, std::uint32_t min, std::uint32_t max) {
  return (min == 0 && max == 0) || (m >= min && m <= max);
}

std::deque<Item>::iterator Queue::FindPosted(std::uint32_t Min, std::uint32_t Max) {
  return std::find_if(items.begin(), items.end(),
                      [&](const Item& i) { return !i.call && InRange(i.msg.message, Min, Max); });
}

Queue::Taken Queue::TakePosted(TMsg& Msg, std::uint32_t Min, std::uint32_t Max) {
  if (auto it = FindPosted(Min, Max); it != items.end()) {
    Msg = it->msg;
    items.erase(it);
    return Taken::message;
  }
  if (quits == 0) return Taken::nothing;
  --quits;
  return Taken::quit;
}

}  // namespace app

using State = TApplication::State;

void State::Posted(TThreadID t) {
  std::function<void(TThreadID)> hook;
  {
    std::lock_guard lock(mutex);
    hook = postedHook;
  }
  if (hook) hook(t);
}

std::shared_ptr<State::Queue> State::EnsureQueue(TThreadID t, const std::shared_ptr<State>& self) {
  std::shared_ptr<Queue> q;
  bool created = false;
  {
    std::lock_guard lock(mutex);
    q = Find(t);
    if (!q) {
      q = queues[t] = NewQueue();
      created = true;
    }
  }
  BindToThisThread(*q);
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

void State::PushCall(Queue& q, std::shared_ptr<Call> call) {
  const std::uint64_t seq = nextCall++;
  q.items.push_back(Item{TMsg{}, std::move(call), seq});
  MarkCall(q, seq);
  q.NotifyAll();
}

void State::Serve(Item& item, const std::function<void(const TMsg&)>& Handler) {
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

std::vector<TTimerID> State::DueTimers(TThreadID t, Clock::time_point now) const {
  std::vector<TTimerID> due;
  for (const auto& [id, timer] : timers)
    if (timer.owner == t && timer.interval != 0 && timer.due <= now) due.push_back(id);
  return due;
}

State::Clock::time_point State::NextDue(TThreadID t) const {
  Clock::time_point next = Clock::time_point::max();
  for (const auto& [id, timer] : timers)
    if (timer.owner == t && timer.interval != 0) next = std::min(next, timer.due);
  return next;
}

bool State::RunTick(TTimerID Id, TThreadID Self, bool CheckDue) {
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

void State::ShowError(const std::string& Message) {
  std::function<void(const std::string&)> report;
  {
    std::lock_guard lock(mutex);
    report = errorReport;
  }
  if (report)
    report(Message);
  else
    std::cerr << app::ForConsole(Message) << std::endl;
}

void State::Report(std::exception_ptr E) {
  if (!E) return;
  try {
    std::rethrow_exception(E);
  } catch (const std::exception& e) {
    ShowError(e.what());
  } catch (...) {
    ShowError("Unknown exception");
  }
}

bool State::Enqueue(TThreadID t, Item item) {
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

bool State::Post(TThreadID Thread, const TMsg& Msg) {
  return Enqueue(Thread, Item{Msg, nullptr});
}

bool State::QueueQuit(Queue& q) {
  ++q.quits;
  return true;
}

bool State::Receive(Queue& q, TMsg& Msg, std::uint32_t Min, std::uint32_t Max) {
  std::unique_lock lock(mutex);
  for (;;) {
    if (const auto got = q.TakePosted(Msg, Min, Max); got != Queue::Taken::nothing)
      return got == Queue::Taken::message;
    q.cv.wait(lock);
  }
}

TApplication::TReceived State::ReceiveOr(Queue& q, TMsg& Msg, std::uint32_t Min, std::uint32_t Max,
                                         std::intptr_t Handle) {
  bool readable = false;
  std::unique_lock lock(mutex);
  if (!q.descriptorWait) q.descriptorWait = std::make_unique<WakeEvent>();
  for (;;) {
    if (const auto got = q.TakePosted(Msg, Min, Max); got != Queue::Taken::nothing)
      return got == Queue::Taken::message ? TReceived::message : TReceived::quit;
    if (readable) return TReceived::readable;
    q.signalEvent = true;
    lock.unlock();
    readable = WaitReadable({q.descriptorWait->Native(), Handle}, -1) == 1;
    lock.lock();
    q.signalEvent = false;
    q.descriptorWait->Reset();
  }
}

bool State::Poll(Queue& q, TMsg& Msg, std::uint32_t Min, std::uint32_t Max, bool Remove) {
  std::lock_guard lock(mutex);
  const auto it = q.FindPosted(Min, Max);
  if (it == q.items.end()) return false;
  Msg = it->msg;
  if (Remove) q.items.erase(it);
  return true;
}

bool State::ServePending(Queue& q, TThreadID Self) {
  std::deque<Item> items;
  std::function<void(const TMsg&)> handler;
  {
    std::lock_guard lock(mutex);
    items.swap(q.items);
    q.woken = false;
    handler = messageHandler;
  }
  bool served = false;
  for (auto& item : items) {
    served = true;
    Serve(item, handler);
  }
  std::vector<TTimerID> due;
  {
    std::lock_guard lock(mutex);
    due = DueTimers(Self, Clock::now());
  }
  for (TTimerID id : due) served |= RunTick(id, Self, true);
  return served;
}

bool State::ServeWithin(Queue& q, TThreadID Self, Clock::time_point Deadline) {
  bool woken = false;
  {
    std::unique_lock lock(mutex);
    for (;;) {
      if (!q.items.empty() || q.woken) break;
      const auto next = NextDue(Self);
      const auto now = Clock::now();
      if (next <= now) break;
      if (now >= Deadline) return false;
      q.cv.wait_until(lock, std::min(next, Deadline));
    }
    woken = q.woken;
  }
  return ServePending(q, Self) || woken;
}

void State::WaitNotified(Queue& q, std::unique_lock<std::mutex>& Lock, Clock::time_point Deadline) {
  q.cv.wait_until(Lock, Deadline);
}

}  // namespace sk::platform
