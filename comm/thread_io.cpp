#include "comm/thread_io.h"

#include "comm/base_io.h"

namespace sk {

namespace {
thread_local TskThreadIO* tlsCurrent = nullptr;
}

TskThreadIO::TskThreadIO(TskBaseIO& askComm, TThreadPriority pr)
    : fskComm(&askComm), fPriority(pr) {
  Start();
}

TskThreadIO::~TskThreadIO() {
  if (ThreadID() != platform::CurrentThreadId())
    Stop();
  else
    Terminate();
}

TskThreadIO* TskThreadIO::Current() {
  return tlsCurrent;
}

void TskThreadIO::Execute() {
  tlsCurrent = this;
  try {
    fskComm->ThreadIOExecute(*this);
  } catch (...) {
    // The component's work ends with its thread; nothing else is to be done about it here.
  }
  tlsCurrent = nullptr;
}

}  // namespace sk
