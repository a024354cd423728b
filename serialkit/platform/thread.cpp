#include "serialkit/platform/thread.h"

#include <future>

#include "serialkit/core/exception.h"

namespace sk::platform {

TThread::TThread(TApplication& App) : app_(App) {}

TThread::~TThread() {
  // Calls only this class's Terminate: the derived part is already gone.
  terminated_.store(true);
  if (thread_.joinable() && std::this_thread::get_id() == thread_.get_id()) {
    thread_.detach();  // destroyed by its own Execute: nobody is left to join it
    return;
  }
  WaitFor();
}

void TThread::Start() {
  if (started_) throw sk::Exception("Thread already started");
  std::promise<void> ready;
  auto readyDone = ready.get_future();
  thread_ = std::thread([this, &ready] {
    id_.store(app_.EnsureMessageQueue());
    ready.set_value();
    Run();
  });
  started_ = true;
  readyDone.wait();
}

void TThread::Run() {
  try {
    Execute();
  } catch (...) {
    fatal_ = std::current_exception();
  }
  finished_.store(true);
  // Whoever waits is woken after finished_ is set; WaitFor stores itself before testing it.
  if (const TThreadID waiter = waiter_.load()) app_.WakeUp(waiter);
}

void TThread::Terminate() {
  terminated_.store(true);
}

void TThread::WaitFor() {
  if (!started_ || !thread_.joinable()) return;
  if (std::this_thread::get_id() == thread_.get_id())
    throw sk::Exception("A thread cannot wait for itself");
  waiter_.store(app_.EnsureMessageQueue());
  app_.WaitServing([this] { return finished_.load(); });
  thread_.join();
}

void TThread::Stop() {
  Terminate();
  WaitFor();
}

std::exception_ptr TThread::FatalException() const {
  return finished_.load() ? fatal_ : nullptr;
}

}  // namespace sk::platform
