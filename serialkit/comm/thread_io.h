#pragma once
// The generic I/O thread of an I/O component: runs the component's ThreadIOExecute until it
// is asked to stop. The serial port uses its two workers instead.
#include <functional>

#include "serialkit/comm/comm_types.h"
#include "serialkit/platform/thread.h"

namespace sk {

class TskBaseIO;

class TskThreadIO final : public platform::TThread {
 public:
  // Starts at once. The priority is kept for the platforms that apply it; threads here run
  // at the scheduler's normal priority.
  TskThreadIO(TskBaseIO& askComm, TThreadPriority pr);
  ~TskThreadIO() override;

  TskBaseIO& Owner() const { return *fskComm; }
  TThreadPriority Priority() const { return fPriority; }
  // Runs Method in the main thread while this thread waits.
  void Synchronize(const std::function<void()>& Method) { TThread::Synchronize(Method); }
  // The TskThreadIO the calling thread is, or none.
  static TskThreadIO* Current();

 protected:
  void Execute() override;

 private:
  TskBaseIO* const fskComm;
  const TThreadPriority fPriority;
};

}  // namespace sk
