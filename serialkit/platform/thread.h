#pragma once
// A worker thread with a terminate request, a message queue of its own and a wait for its end
// that keeps serving synchronized calls, so that a main thread waiting for a worker and a
// worker waiting in Synchronize never wait for each other.
#include <atomic>
#include <exception>
#include <functional>
#include <thread>

#include "serialkit/platform/application.h"
#include "serialkit/platform/messages.h"

namespace sk::platform {

class TThread {
 public:
  explicit TThread(TApplication& App = Application());
  // A thread still running is asked to terminate and waited for, but by then the derived
  // part is gone: derived classes whose Execute uses their own members call Stop() in their
  // destructors.
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Starts Execute in a new thread (threads are created suspended); returns once the thread
  // has its id and message queue, so that posting to it succeeds from then on. Once only.
  void Start();
  // Sets the terminate request. Derived classes extend it to wake their Execute.
  virtual void Terminate();
  bool Terminated() const { return terminated_.load(); }
  // Waits for Execute to end and joins the thread; in any thread, synchronized calls made to
  // the waiting thread are served meanwhile. Returns at once if never started.
  void WaitFor();
  // Terminate, then WaitFor.
  void Stop();
  bool Started() const { return started_; }
  bool Finished() const { return finished_.load(); }
  TThreadID ThreadID() const { return id_.load(); }
  // An exception that escaped Execute, kept rather than ending the process.
  std::exception_ptr FatalException() const;
  TApplication& App() const { return app_; }

 protected:
  virtual void Execute() = 0;
  // Runs Fn in the main thread while this thread waits.
  void Synchronize(const std::function<void()>& Fn) { app_.Synchronize(Fn); }

 private:
  void Run();

  TApplication& app_;
  std::thread thread_;
  bool started_ = false;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::atomic<TThreadID> id_{0};
  std::atomic<TThreadID> waiter_{0};
  std::exception_ptr fatal_;  // written before finished_ is set, read after
};

}  // namespace sk::platform
