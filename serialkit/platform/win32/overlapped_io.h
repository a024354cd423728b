#pragma once
// Waiting for an overlapped operation that the calling thread started, with a way out: any
// of the stop handles ends the wait and cancels the operation, whose outcome is then still
// collected, so that the driver is done with the record and the buffer before they go.
#include <windows.h>

#include <initializer_list>

namespace sk::platform::win32 {

struct IoOutcome {
  bool ok = false;
  DWORD error = 0;        // when not ok
  DWORD transferred = 0;  // also when a cancel ended it part way
  int stoppedBy = -1;     // index into Stops of the handle that ended the wait, else -1
};

// Ov.hEvent must be set. Null stop handles are skipped.
IoOutcome FinishOverlapped(HANDLE Device, OVERLAPPED& Ov, std::initializer_list<HANDLE> Stops);

// Cancels the calling thread's I/O on Device (only Ov's, where the system can tell them
// apart). Both cancel calls are looked up at run time: the oldest systems lack the finer one.
bool CancelOwnIo(HANDLE Device, OVERLAPPED* Ov);

}  // namespace sk::platform::win32
