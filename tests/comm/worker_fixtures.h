#pragma once
// What the receive-path tests share: a record of what the port's handlers saw, from whichever
// thread ran them, that the test thread can wait on; a data processor safe to feed from a
// worker; and a wait for the main thread to be handed a synchronized call.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "serialkit/comm/data_processor_link.h"
#include "serialkit/comm/serial_comm.h"
#include "serialkit/platform/application.h"
#include "serialkit/platform/messages.h"
#include "support/eventually.h"

namespace sktest {

using namespace std::chrono_literals;
constexpr auto kDeadline = 10s;

// Handlers record under Update; the test waits with Until for what it expects.
class Seen {
 public:
  // Notifies under the lock, so that a waiter that has seen the change may destroy this.
  template <class F>
  void Update(F f) {
    std::lock_guard lock(mutex_);
    f();
    changed_.notify_all();
  }
  template <class P>
  bool Until(P done) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kDeadline, done);
  }
  // Reads under the lock.
  template <class F>
  auto Read(F f) {
    std::lock_guard lock(mutex_);
    return f();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
};

// For values that change without telling anybody (the port's totals).
using testsupport::Eventually;

// A data processor as the port sees it, fed from a worker: records each chunk and the thread.
class ChunkProcessor : public sk::TskDataProcessorLink {
 public:
  using TskDataProcessorLink::TskDataProcessorLink;
  ~ChunkProcessor() override { BeginDestroy(); }
  void SetDevice(sk::TskBaseIO*) override {}
  void DoProcessing(const sk::Byte* Data, std::uint32_t Len, sk::TIgnoreTypes&) override {
    seen.Update([&] {
      chunks.emplace_back(Data, Data + Len);
      threads.push_back(sk::platform::CurrentThreadId());
    });
  }
  void DoAfterSendComplete(bool& flIgnore) override {
    seen.Update([&] {
      ++sendCompletes;
      flIgnore = ignoreSendComplete;
    });
  }

  Seen seen;
  std::vector<std::vector<sk::Byte>> chunks;
  std::vector<sk::platform::TThreadID> threads;
  int sendCompletes = 0;
  bool ignoreSendComplete = false;
};

// Tells when something is handed to the main thread's queue (a synchronized call from a
// worker), without the main thread serving it.
class MainThreadPosts {
 public:
  MainThreadPosts() {
    // Shared with the hook: a poster may still be calling a copy of it after this is gone.
    sk::platform::Application().SetPostedHook([state = state_](sk::platform::TThreadID t) {
      if (t == sk::platform::Application().MainThreadId())
        state->seen.Update([&] { ++state->posts; });
    });
  }
  ~MainThreadPosts() { sk::platform::Application().SetPostedHook(nullptr); }
  bool UntilPosted() {
    return state_->seen.Until([&] { return state_->posts > 0; });
  }

 private:
  struct State {
    Seen seen;
    int posts = 0;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

// The error report records what it is given, and in which thread, until the test ends.
class ErrorReports {
 public:
  explicit ErrorReports(std::function<void(const std::string&)> Show = nullptr)
      : show_(std::move(Show)) {
    sk::platform::Application().SetErrorReport([this](const std::string& m) {
      if (show_) show_(m);
      seen.Update([&] {
        messages.push_back(m);
        threads.push_back(sk::platform::CurrentThreadId());
      });
    });
  }
  ~ErrorReports() { sk::platform::Application().SetErrorReport(nullptr); }

  Seen seen;
  std::vector<std::string> messages;
  std::vector<sk::platform::TThreadID> threads;

 private:
  std::function<void(const std::string&)> show_;
};

}  // namespace sktest
