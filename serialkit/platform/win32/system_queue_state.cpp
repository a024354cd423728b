// The application object on the system's own queues: thread messages and quits travel in each
// thread's system queue, a mark there keeps each call's place, and timers are window timers of
// a hidden window of their thread. Any loop that serves a thread's system queue then ticks its
// timers, and other code's thread messages reach ReceiveMessage.
#include <algorithm>
#include <optional>

#include "serialkit/platform/application_state.h"
#include "serialkit/platform/win32/system_queue.h"

namespace sk::platform {

namespace {

using State = TApplication::State;
using Clock = app::Clock;

// The owner always waits on the event, so every notification signals it.
struct SystemQueue : app::Queue {
  sysqueue::TSystemThread systemThread = 0;  // 0 until the owner has made its system queue

  SystemQueue() {
    descriptorWait = std::make_unique<WakeEvent>();
    signalEvent = true;
  }
};

SystemQueue& Of(app::Queue& q) {
  return static_cast<SystemQueue&>(q);
}

class SystemQueueState final : public State {
 public:
  std::shared_ptr<Queue> NewQueue() const override { return std::make_shared<SystemQueue>(); }

  void BindToThisThread(Queue& q) override {
    {
      std::lock_guard lock(mutex);
      if (Of(q).systemThread != 0) return;
    }
    const auto system = sysqueue::CreateForThisThread();
    std::lock_guard lock(mutex);
    Of(q).systemThread = system;
  }

  void MarkCall(Queue& q, std::uint64_t Seq) override {
    if (Of(q).systemThread != 0)
      sysqueue::Post(Of(q).systemThread,
                     TMsg{sysqueue::kCallMessage, 0, static_cast<std::intptr_t>(Seq)});
  }

  bool Post(TThreadID Thread, const TMsg& Msg) override {
    {
      std::lock_guard lock(mutex);
      auto q = Find(Thread);
      if (!q || Of(*q).systemThread == 0 || !sysqueue::Post(Of(*q).systemThread, Msg)) return false;
      q->NotifyAll();  // a receive of a range waits on the queue's event
    }
    Posted(Thread);
    return true;
  }

  bool QueueQuit(Queue& q) override {
    return Of(q).systemThread != 0 && sysqueue::PostQuit(Of(q).systemThread);
  }

  bool Receive(Queue& q, TMsg& Msg, std::uint32_t Min, std::uint32_t Max) override {
    return sysqueue::Take(Msg, Min, Max, true, true, q.descriptorWait->Native()) ==
           sysqueue::TTaken::message;
  }

  TReceived ReceiveOr(Queue& q, TMsg& Msg, std::uint32_t Min, std::uint32_t Max,
                      std::intptr_t Handle) override {
    bool readable = false;
    for (;;) {
      q.descriptorWait->Reset();  // before the look: a post after it signals again
      switch (sysqueue::Take(Msg, Min, Max, false, true)) {
        case sysqueue::TTaken::message:
          return TReceived::message;
        case sysqueue::TTaken::quit:
          return TReceived::quit;
        case sysqueue::TTaken::none:
          break;
      }
      if (readable) return TReceived::readable;
      readable = sysqueue::Wait({q.descriptorWait->Native(), Handle}, -1, false) == 1;
    }
  }

  bool Poll(Queue& q, TMsg& Msg, std::uint32_t Min, std::uint32_t Max, bool Remove) override {
    const auto taken = sysqueue::Take(Msg, Min, Max, false, Remove);
    // A quit is not a message: it stays for the receive it is meant to end.
    if (taken == sysqueue::TTaken::quit && Remove) sysqueue::PostQuit(Of(q).systemThread);
    return taken == sysqueue::TTaken::message;
  }

  bool ServePending(Queue& q, TThreadID) override {
    std::function<void(const TMsg&)> handler;
    std::uint64_t before = 0;
    {
      std::lock_guard lock(mutex);
      q.woken = false;
      handler = messageHandler;
      before = nextCall;
    }
    // Thread messages and timer ticks wait in the system's queue.
    bool served = sysqueue::Drain([&](const TMsg& Msg) {
      if (Msg.message != sysqueue::kCallMessage) {
        Item item{Msg, nullptr};
        Serve(item, handler);
      } else if (auto call = TakeCall(q, static_cast<std::uint64_t>(Msg.lParam))) {
        Serve(*call, handler);
      }
    });
    // Calls whose mark a receive took, or that got none, run after the batch.
    while (auto call = TakeCall(q, 0, before)) {
      served = true;
      Serve(*call, handler);
    }
    return served;
  }

  bool ServeWithin(Queue& q, TThreadID Self, Clock::time_point Deadline) override {
    bool woken = false;
    {
      std::unique_lock lock(mutex);
      while (q.items.empty() && !q.woken) {
        // The system's queue holds the messages and timers, so its input ends the wait.
        if (Clock::now() >= Deadline) {
          lock.unlock();
          return ServePending(q, Self);
        }
        if (WaitForInput(q, lock, Deadline, true)) break;
      }
      woken = q.woken;
    }
    return ServePending(q, Self) || woken;
  }

  void WaitNotified(Queue& q, std::unique_lock<std::mutex>& Lock,
                    Clock::time_point Deadline) override {
    WaitForInput(q, Lock, Deadline, false);
  }

  void AddSystemTimer(TTimerID Id, TThreadID Owner) override {
    auto system = std::make_shared<sysqueue::SystemTimer>(
        [weak = std::weak_ptr<State>(shared_from_this()), Id, Owner] {
          if (auto s = weak.lock()) s->RunTick(Id, Owner, false);
        });
    std::lock_guard lock(mutex);
    systemTimers_[Id] = std::move(system);
  }

  void ArmSystemTimer(TTimerID Id, std::uint32_t IntervalMs) override {
    std::shared_ptr<sysqueue::SystemTimer> system;
    {
      std::lock_guard lock(mutex);
      if (auto it = systemTimers_.find(Id); it != systemTimers_.end()) system = it->second;
    }
    if (system) system->Arm(IntervalMs);
  }

  void RemoveSystemTimer(TTimerID Id) override {
    std::shared_ptr<sysqueue::SystemTimer> system;
    std::lock_guard lock(mutex);
    if (auto it = systemTimers_.find(Id); it != systemTimers_.end()) {
      system = std::move(it->second);
      systemTimers_.erase(it);
    }
  }

 private:
  // Waits, the lock held before and after, until notified or Deadline; with SystemInput also
  // until input comes to the owner's system queue, and then true.
  bool WaitForInput(Queue& q, std::unique_lock<std::mutex>& Lock, Clock::time_point Deadline,
                    bool SystemInput) {
    // Reset under the lock: whoever notifies holds it, so no signal is lost.
    q.descriptorWait->Reset();
    int ms = -1;
    if (Deadline != Clock::time_point::max()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(Deadline - Clock::now());
      ms = static_cast<int>(std::clamp<long long>(left.count(), 0, 0x7FFFFFFE));
    }
    Lock.unlock();
    const int r = SystemInput ? sysqueue::Wait({q.descriptorWait->Native()}, ms, true)
                              : WaitReadable({q.descriptorWait->Native()}, ms);
    Lock.lock();
    return SystemInput && r == 1;
  }

  // Takes the call numbered Seq, or else (Seq 0) the first one numbered below Before.
  std::optional<Item> TakeCall(Queue& q, std::uint64_t Seq, std::uint64_t Before = 0) {
    std::lock_guard lock(mutex);
    const auto it = std::find_if(q.items.begin(), q.items.end(), [&](const Item& i) {
      return i.call && (Seq != 0 ? i.seq == Seq : i.seq < Before);
    });
    if (it == q.items.end()) return std::nullopt;
    Item item = std::move(*it);
    q.items.erase(it);
    return item;
  }

  // Guarded by the state's lock, like the timers they tick.
  std::map<TTimerID, std::shared_ptr<sysqueue::SystemTimer>> systemTimers_;
};

}  // namespace

std::shared_ptr<TApplication::State> NewApplicationState() {
  return std::make_shared<SystemQueueState>();
}

}  // namespace sk::platform
