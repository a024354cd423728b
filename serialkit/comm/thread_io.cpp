#include "serialkit/comm/thread_io.h"

#include "serialkit/comm/base_io.h"

namespace sk {

namespace {
thread_local TskThreadIO* tlsCurrent = nullptr;
}

TskThreadIO::TskThreadIO(TskBaseIO& askComm, TThreadPriority pr)
    : TThread(askComm.App()), fskComm(&askComm), fPriority(pr) {
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
    // The component's work ends with its thread; why goes to the error report.
    fskComm->ReportException();
  }
  tlsCurrent = nullptr;
}

}  // namespace sk
