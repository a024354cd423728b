#pragma once
// The one ordered path by which bytes leave a port. Waited and unwaited writes queue up in
// call order and a writer thread hands them to the driver; a write that finds the path idle
// is tried at once in the caller's thread, and what the driver takes then is never copied.
// An unwaited write keeps a copy of what is left, so its caller may reuse its buffer at once.
#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "serialkit/platform/wake_event.h"

namespace sk::platform::posix {

class OutputQueue {
 public:
  // Total time-out of one write: Multiplier ms per byte plus Constant ms; both 0 = none.
  struct Timeouts {
    std::uint32_t Multiplier = 0;
    std::uint32_t Constant = 0;
  };

  // Hands bytes to the driver: write(2) on the descriptor, or a test's stand-in for what
  // a real descriptor cannot be made to do on cue.
  using WriteFunction = std::function<ssize_t(const std::uint8_t* Data, std::size_t Count)>;

  // OnDrained runs (with an internal lock held, so it must only signal) whenever the queue
  // has run empty after handing bytes to the driver.
  OutputQueue(int Fd, std::function<void()> OnDrained, WriteFunction Write = nullptr);
  ~OutputQueue();
  OutputQueue(const OutputQueue&) = delete;
  OutputQueue& operator=(const OutputQueue&) = delete;

  // Waits until the bytes have been handed to the driver. Result 0 or an errno value;
  // Written receives what the driver took.
  int Write(const std::uint8_t* Data, std::size_t Count, std::size_t& Written, Timeouts T);
  // Queues the bytes and returns; 0 or the errno value of a stopped queue.
  int WriteAsync(const std::uint8_t* Data, std::size_t Count, Timeouts T);
  // One byte that goes out before everything still queued.
  int SendAhead(std::uint8_t Byte);
  // Ends every queued write with Error; bytes already handed to the driver stay there.
  void Abort(int Error);
  // Ends the unwaited writes that Owner queued.
  void Cancel(std::thread::id Owner, int Error);
  // Bytes queued and not yet handed to the driver.
  std::size_t Pending() const;
  bool Idle() const;
  // Waits until nothing is queued; false if the queue was stopped first.
  bool WaitIdle();
  // Ends every write with Error, stops the writer thread; later writes fail with Error.
  void Stop(int Error);

 private:
  struct Job;
  using Clock = std::chrono::steady_clock;

  void Run();
  // Writes as much of Data as the driver takes now; result 0, EAGAIN or an errno value.
  int WriteNow(const std::uint8_t* Data, std::size_t Count, std::size_t& Done);
  bool WaitWritable(std::unique_lock<std::mutex>& Lock, std::optional<Clock::time_point> Until);
  void Finish(const std::shared_ptr<Job>& J, int Error);  // with mutex_ held
  bool IdleLocked() const;
  void Wake();  // with mutex_ held

  const int fd_;
  const std::function<void()> onDrained_;
  WriteFunction write_;
  WakeEvent wake_;
  mutable std::mutex mutex_;
  std::condition_variable workCv_;  // the writer waits for work
  std::condition_variable doneCv_;  // callers wait for their writes and for idleness
  std::deque<std::shared_ptr<Job>> queue_;
  std::deque<std::uint8_t> ahead_;
  std::size_t queuedBytes_ = 0;  // of the queued writes, not yet handed to the driver
  bool direct_ = false;          // a caller is writing in its own thread
  bool writerActive_ = false;    // the writer thread is inside a system call
  bool wroteSinceDrain_ = false;
  bool stopping_ = false;
  int stopError_ = 0;
  std::thread writer_;
};

}  // namespace sk::platform::posix
