#pragma once
// The one ordered path by which bytes leave a port. A waited write that finds the path idle
// is written in the caller's thread straight from its buffer; everything else queues in call
// order for a writer thread. An unwaited write keeps a copy, since an overlapped write reads
// its buffer until it ends.
#include <windows.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "serialkit/platform/wake_event.h"

namespace sk::platform::win32 {

class OutputPath {
 public:
  explicit OutputPath(HANDLE Device);
  ~OutputPath();
  OutputPath(const OutputPath&) = delete;
  OutputPath& operator=(const OutputPath&) = delete;

  // Returns once the driver has taken the bytes. Result 0 or a system error code; Written
  // receives what the driver took. The driver's write time-outs apply.
  DWORD Write(const std::uint8_t* Data, DWORD Count, DWORD& Written);
  // Queues a copy of the bytes and returns; 0 or the error of a stopped path.
  DWORD WriteAsync(const std::uint8_t* Data, DWORD Count);
  // Ends every write not yet finished with Error.
  void Abort(DWORD Error);
  // Ends the unwaited writes that Owner queued.
  void Cancel(std::thread::id Owner, DWORD Error);
  // Bytes queued and not yet taken by the driver.
  std::size_t Pending() const;
  // Waits until nothing is queued or being written; false if the path was stopped first.
  bool WaitIdle();
  // Ends every write with Error and stops the writer; later writes fail with Error.
  void Stop(DWORD Error);

 private:
  struct Job {
    const std::uint8_t* data = nullptr;
    DWORD count = 0;
    std::vector<std::uint8_t> copy;  // unwaited writes only
    bool waited = false;
    std::thread::id owner;
    bool done = false;
    DWORD error = 0;
    DWORD written = 0;
  };

  void Run();
  // One overlapped write in the calling thread; Cancel ends it early.
  DWORD WriteOnce(const std::uint8_t* Data, DWORD Count, DWORD& Written, HANDLE Done,
                  HANDLE Cancel);
  void Finish(const std::shared_ptr<Job>& J, DWORD Error);  // with mutex_ held
  bool IdleLocked() const { return queue_.empty() && !direct_; }

  const HANDLE device_;
  WakeEvent writerDone_;    // completion of the writer's write
  WakeEvent writerCancel_;  // ends the writer's current write
  WakeEvent directDone_;
  WakeEvent directCancel_;  // ends the caller's direct write
  mutable std::mutex mutex_;
  std::condition_variable workCv_;
  std::condition_variable doneCv_;
  std::deque<std::shared_ptr<Job>> queue_;  // the front one is being written while inFlight_
  std::shared_ptr<Job> inFlight_;
  std::size_t queuedBytes_ = 0;
  bool direct_ = false;  // a caller writes in its own thread
  std::thread::id directOwner_;
  bool stopping_ = false;
  DWORD stopError_ = 0;
  std::thread writer_;
};

}  // namespace sk::platform::win32
