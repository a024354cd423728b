#pragma once
#include <functional>

#include "serialkit/platform/thread.h"

namespace sk::test {

// A worker running Body; Body gets the worker itself.
class LambdaThread : public platform::TThread {
 public:
  LambdaThread(platform::TApplication& App, std::function<void(LambdaThread&)> Body)
      : TThread(App), body_(std::move(Body)) {}
  ~LambdaThread() override { Stop(); }
  using TThread::Synchronize;

 protected:
  void Execute() override { body_(*this); }

 private:
  std::function<void(LambdaThread&)> body_;
};

}  // namespace sk::test
