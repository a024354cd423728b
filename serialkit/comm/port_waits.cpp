// Waiting for bytes and for a modem line: the calling thread serves its queue and sleeps in
// between, woken by each port event and by the close.
#include "serialkit/comm/port_waits.h"

#include <algorithm>

#include "serialkit/comm/custom_comm.h"
#include "serialkit/platform/serial_device.h"
#include "serialkit/platform/tick.h"

namespace sk {

void TPortWaits::Add(platform::TThreadID Thread, std::uint32_t Events) {
  std::lock_guard lock(mutex_);
  waiters_.push_back({Thread, Events});
  UpdateEvents();
}

void TPortWaits::Remove(platform::TThreadID Thread) {
  std::lock_guard lock(mutex_);
  const auto it = std::find_if(waiters_.begin(), waiters_.end(),
                               [&](const Waiter& w) { return w.thread == Thread; });
  if (it != waiters_.end()) waiters_.erase(it);
  UpdateEvents();
}

void TPortWaits::UpdateEvents() {
  std::uint32_t events = 0;
  for (const Waiter& w : waiters_) events |= w.events;
  events_.store(events, std::memory_order_release);
  any_.store(!waiters_.empty(), std::memory_order_release);
}

void TPortWaits::WakeAll() noexcept {
  if (!any_.load(std::memory_order_acquire)) return;
  // Under the lock, so that a waiter cannot leave and be forgotten half-way; a wake-up only
  // marks the thread's queue and never serves anything.
  std::lock_guard lock(mutex_);
  for (const Waiter& w : waiters_) app_.WakeUp(w.thread);
}

namespace {

constexpr std::uint32_t kSignalEvents[] = {EV_CTS, EV_DSR, EV_RING, EV_RLSD};

// Registered before the first look, so that a change between a look and the sleep after it
// ends that sleep at once.
class TWaitScope {
 public:
  TWaitScope(TskCustomComm& Com, platform::TApplication& App, TPortWaits& Waits,
             std::uint32_t Events)
      : com_(Com), app_(App), waits_(Waits), self_(platform::CurrentThreadId()) {
    const std::uint32_t before = Com.EventMask();
    waits_.Add(self_, Events);
    maskChanged_ = Com.EventMask() != before;
    if (maskChanged_) SetMask();
  }
  ~TWaitScope() {
    waits_.Remove(self_);
    if (maskChanged_) SetMask();
  }
  TWaitScope(const TWaitScope&) = delete;
  TWaitScope& operator=(const TWaitScope&) = delete;

  // Serves the thread's queue until something may have changed or the time since Start
  // exceeds Ms; false once it has.
  bool Sleep(std::uint32_t Start, std::uint32_t Ms) {
    const std::uint32_t elapsed = platform::GetTickCount() - Start;
    if (elapsed > Ms) return false;
    // One past the limit, so that the next look finds it exceeded; never the "no limit" value.
    const std::uint32_t left = std::min(Ms - elapsed, platform::kInfinite - 2) + 1;
    app_.ProcessMessages(left);
    return true;
  }

 private:
  void SetMask() {
    if (THandle h = com_.Handle()) h->SetCommMask(com_.EventMask());
  }

  TskCustomComm& com_;
  platform::TApplication& app_;
  TPortWaits& waits_;
  const platform::TThreadID self_;
  bool maskChanged_ = false;
};

}  // namespace

bool TskCustomComm::WaitForBytes(std::uint32_t Count, std::uint32_t Ms) {
  if (!IsOpened()) return false;
  // Without tsRxChar the message worker leaves the bytes alone unless something needs them.
  struct Restore {
    TskCustomComm& com;
    const TTraceStates saved;
    ~Restore() { com.SetTraceStates(saved); }
  } restore{*this, TraceStates()};
  TTraceStates without = restore.saved;
  Exclude(without, tsRxChar);
  SetTraceStates(without);
  TWaitScope wait(*this, App(), *waits_, 0);
  // Elapsed time against Ms, so that any Ms up to the largest waits that long.
  const std::uint32_t start = platform::GetTickCount();
  do {
    if (!IsOpened()) return false;
    if (ReadyForRead() >= Count) return true;
  } while (wait.Sleep(start, Ms));
  return false;
}

bool TskCustomComm::WaitForSignal(TModemSignal Signal, std::uint32_t Ms) {
  if (!IsOpened()) return false;
  const bool known = static_cast<unsigned>(Signal) < std::size(kSignalEvents);
  // The line's changes are reported meanwhile even when the trace states do not ask for them.
  TWaitScope wait(*this, App(), *waits_, known ? kSignalEvents[Signal] : 0);
  const std::uint32_t start = platform::GetTickCount();
  do {
    if (known && InSet(ModemSignals(), Signal)) return true;
    if (!IsOpened()) return false;
  } while (wait.Sleep(start, Ms));
  return false;
}

}  // namespace sk
