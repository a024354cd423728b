#pragma once
// The application object: each thread's message queue and timers, calls into the main thread,
// and the error report. Console programs serve the calling thread's queue with RunUntil (or
// ProcessMessages); a GUI installs a hook so that its own event loop does the serving.
//
// What a thread's queue holds, served in posting order:
//  - thread messages (PostToThread), taken by ReceiveMessage/PollMessage, or handed to the
//    message handler by ProcessMessages;
//  - posted calls (PostCall), run by ProcessMessages in that thread;
//  - synchronized calls (Synchronize), main thread only, run by ProcessMessages and by
//    WaitServing while the caller waits.
// Timers belong to the thread that created them and tick only in its ProcessMessages.
//
// On Windows the system's queue of each thread carries the thread messages and quits (posted
// with PostThreadMessageW, taken with GetMessageW and PeekMessageW) and marks the places of the
// calls, and each timer is a window timer of a hidden window of its thread (platform/win32/
// system_queue_state.cpp). Any loop that serves the system's queue then ticks the timers too, and
// other code's thread messages reach ReceiveMessage; a quit ends a wait only behind the
// messages posted before it.
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "serialkit/platform/messages.h"

namespace sk::platform {

inline constexpr std::uint32_t kInfinite = 0xFFFFFFFF;

using TTimerID = std::uint32_t;

class TApplication {
 public:
  // Main = the thread whose queue serves synchronized calls.
  explicit TApplication(TThreadID Main = CurrentThreadId());
  ~TApplication();  // fails synchronized calls still waiting (their callers get an exception)
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  TThreadID MainThreadId() const;
  bool IsMainThread() const { return CurrentThreadId() == MainThreadId(); }

  // --- Thread messages -------------------------------------------------------------------
  // Creates the calling thread's queue if it has none yet; it lives until the thread ends.
  // The main thread's queue exists from construction.
  TThreadID EnsureMessageQueue();
  // Appends a message to Thread's queue. False when that thread has no queue (not yet
  // created, or the thread has ended): the poster may retry.
  bool PostToThread(TThreadID Thread, std::uint32_t Message, std::uintptr_t wParam = 0,
                    std::intptr_t lParam = 0);
  // Waits for the first message of the calling thread's queue with a number in [Min, Max]
  // (both 0: any number) and removes it. False, without a message, once PostQuit has been
  // called for the thread (each PostQuit ends one wait). Creates the queue if needed.
  bool ReceiveMessage(TMsg& Msg, std::uint32_t Min = 0, std::uint32_t Max = 0);
  // What ReceiveMessageOr ended with.
  enum class TReceived { quit, message, readable };
  // Like ReceiveMessage, but also ends when Handle (a device descriptor) is readable or hung
  // up while no message matches: a thread that handles a device's input itself takes it at
  // once instead of waiting for another thread to tell it. Messages come first.
  TReceived ReceiveMessageOr(TMsg& Msg, std::uint32_t Min, std::uint32_t Max, std::intptr_t Handle);
  // Like ReceiveMessage but never waits: false when no message matches.
  bool PollMessage(TMsg& Msg, std::uint32_t Min = 0, std::uint32_t Max = 0, bool Remove = true);
  // Makes Thread's next (or current) ReceiveMessage return false. False if it has no queue.
  bool PostQuit(TThreadID Thread);

  // --- Serving ---------------------------------------------------------------------------
  // Serves what is pending for the calling thread now: the messages and calls queued before
  // the call, then the timers that are due. Exceptions from posted calls and the message
  // handler go to the error report. True if anything was served.
  bool ProcessMessages();
  // Waits at most WaitMs (kInfinite: no limit) for something to serve, a due timer or a
  // WakeUp of this thread, then serves what is pending. True unless the time ran out with
  // nothing served and no wake-up.
  bool ProcessMessages(std::uint32_t WaitMs);
  // Ends a wait in ProcessMessages(WaitMs) or WaitServing of Thread at once; a wake-up that
  // comes before the wait ends the next wait. Thread-safe, callable from any thread.
  void WakeUp(TThreadID Thread);
  void WakeUp() { WakeUp(MainThreadId()); }
  // Waits until Done() holds, for at most TimeoutMs, serving the synchronized calls made to
  // the calling thread (only the main thread receives any) but nothing else. Done is tested
  // at entry and after every wake-up, so whoever makes it true calls WakeUp(thread).
  // True if Done() held.
  bool WaitServing(const std::function<bool()>& Done, std::uint32_t TimeoutMs = kInfinite);

  // Serves the calling thread's messages, calls and timers, as ProcessMessages does, until
  // Done() holds, a stop request comes (Ctrl+C or a terminate signal, caught meanwhile) or
  // TimeoutMs has passed. This is the loop of a console program whose components handle
  // their events in the main thread (UseMainThread). Done is tested at entry, after whatever
  // was served and at least every 10 ms, so it may watch a value that another thread sets;
  // WakeUp(thread) has it tested at once. True if Done() held.
  bool RunUntil(const std::function<bool()>& Done, std::uint32_t TimeoutMs = kInfinite);
  // Whether a stop request came during the running or the last RunUntil of this process
  // (what told a false result from a time-out).
  static bool StopRequested();

  // Handler for thread messages that ProcessMessages takes off a queue (none: dropped).
  void SetMessageHandler(std::function<void(const TMsg&)> Handler);

  // --- Calls into other threads ----------------------------------------------------------
  // Runs Fn in the main thread and waits for it; an exception it throws is rethrown here.
  // Called in the main thread it runs Fn at once. Throws sk::Exception if the application
  // is destroyed before Fn ran.
  void Synchronize(const std::function<void()>& Fn);
  // Queues Fn to run in Thread's ProcessMessages and returns. False if it has no queue.
  bool PostCall(TThreadID Thread, std::function<void()> Fn);

  // --- Timers ----------------------------------------------------------------------------
  // A timer of the calling thread, disarmed; OnTick runs in that thread's ProcessMessages.
  TTimerID CreateTimer(std::function<void()> OnTick);
  // Arms the timer to tick every IntervalMs, first IntervalMs from now; 0 disarms.
  // Thread-safe: a timer may be re-armed from any thread and still ticks in its own.
  void SetTimer(TTimerID Timer, std::uint32_t IntervalMs);
  void KillTimer(TTimerID Timer) { SetTimer(Timer, 0); }
  // Removes the timer. When its tick is running in another thread, waits for it to end, so
  // that the tick's objects may be destroyed afterwards.
  void DestroyTimer(TTimerID Timer);
  // Milliseconds until Thread's next timer is due (0 if one is due), kInfinite if none armed.
  std::uint32_t MillisecondsToNextTimer(TThreadID Thread) const;

  // --- Hooks -----------------------------------------------------------------------------
  // Called, in the posting thread and with no lock held, whenever a thread's queue gets
  // something to serve (message, call, wake-up, quit) or its timers change. A GUI adapter
  // uses it to have its own event loop call ProcessMessages in that thread. The hook only
  // schedules that: it may be called with a component's lock held (a timer being re-armed),
  // so it must not serve messages itself.
  void SetPostedHook(std::function<void(TThreadID)> Hook);

  // --- Error report ----------------------------------------------------------------------
  // Shows a message to the operator; by default on standard error. Runs the report in the
  // calling thread: a GUI report that must run in its own thread hands the message over.
  void ShowError(const std::string& Message);
  // Shows the message of the exception E (or of the current one).
  void ShowException(std::exception_ptr E = std::current_exception());
  // Replaces the report (an empty function restores the default).
  void SetErrorReport(std::function<void(const std::string&)> Report);

  struct State;

 private:
  std::shared_ptr<State> state_;
};

// The process's application object, created on first use; its main thread is the thread that
// ran the program's start-up (static initialisation), whichever thread first asks for it.
TApplication& Application();

}  // namespace sk::platform
