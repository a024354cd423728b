#include "serialkit/platform/posix/output_queue.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "serialkit/platform/posix/deadline.h"

namespace sk::platform::posix {

struct OutputQueue::Job {
  const std::uint8_t* data = nullptr;  // the caller's bytes (waited) or own's (unwaited)
  std::vector<std::uint8_t> own;
  std::size_t size = 0;
  std::size_t done = 0;
  bool waited = false;
  std::thread::id owner;
  Timeouts timeouts;
  std::optional<Clock::time_point> deadline;
  bool finished = false;
  bool inFlight = false;  // the writer is handing its bytes to the driver right now
  int error = 0;

  void StartClock(Clock::time_point now) {
    if (deadline || (timeouts.Multiplier == 0 && timeouts.Constant == 0)) return;
    deadline = DeadlineAfter(now, TotalTimeoutMs(timeouts.Multiplier, size, timeouts.Constant));
  }
};

OutputQueue::OutputQueue(int Fd, std::function<void()> OnDrained, WriteFunction Write)
    : fd_(Fd), onDrained_(std::move(OnDrained)), write_(std::move(Write)) {
  if (!write_)
    write_ = [fd = fd_](const std::uint8_t* Data, std::size_t Count) {
      return ::write(fd, Data, Count);
    };
  writer_ = std::thread([this] { Run(); });
}

OutputQueue::~OutputQueue() {
  Stop(EBADF);
}

int OutputQueue::WriteNow(const std::uint8_t* Data, std::size_t Count, std::size_t& Done) {
  while (Done < Count) {
    const ssize_t n = write_(Data + Done, Count - Done);
    if (n > 0) {
      Done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      return EAGAIN;
    } else {
      return n < 0 ? errno : EIO;
    }
  }
  return 0;
}

int OutputQueue::Write(const std::uint8_t* Data, std::size_t Count, std::size_t& Written,
                       Timeouts T) {
  Written = 0;
  auto job = std::make_shared<Job>();
  job->data = Data;
  job->size = Count;
  job->waited = true;
  job->owner = std::this_thread::get_id();
  job->timeouts = T;
  std::unique_lock lock(mutex_);
  if (stopping_) return stopError_;
  if (Count == 0) return 0;
  if (IdleLocked()) {
    job->StartClock(Clock::now());
    direct_ = true;
    lock.unlock();
    const int err = WriteNow(Data, Count, job->done);
    lock.lock();
    direct_ = false;
    if (job->done > 0) wroteSinceDrain_ = true;
    if (err != EAGAIN) {
      Written = job->done;
      if (IdleLocked()) {
        doneCv_.notify_all();
        if (wroteSinceDrain_) {
          wroteSinceDrain_ = false;
          onDrained_();
        }
      }
      // Writes queued meanwhile; with none the writer has nothing to wake for (once a byte,
      // a wasted thread wake-up per header byte).
      if (!ahead_.empty() || !queue_.empty()) Wake();
      return err;
    }
    queue_.push_front(job);  // ahead of anything queued while this caller wrote
  } else {
    queue_.push_back(job);
  }
  queuedBytes_ += job->size - job->done;
  Wake();
  // A write aborted while the writer hands its bytes over is only over once the writer no
  // longer reads the caller's buffer.
  doneCv_.wait(lock, [&] { return job->finished && !job->inFlight; });
  Written = job->done;
  return job->error;
}

int OutputQueue::WriteAsync(const std::uint8_t* Data, std::size_t Count, Timeouts T) {
  std::unique_lock lock(mutex_);
  if (stopping_) return stopError_;
  if (Count == 0) return 0;
  std::size_t done = 0;
  const auto start = Clock::now();
  const bool tried = IdleLocked();
  if (tried) {
    direct_ = true;
    lock.unlock();
    const int err = WriteNow(Data, Count, done);
    lock.lock();
    direct_ = false;
    if (done > 0) wroteSinceDrain_ = true;
    if (err != EAGAIN) {
      if (IdleLocked()) {
        doneCv_.notify_all();
        if (wroteSinceDrain_) {
          wroteSinceDrain_ = false;
          onDrained_();
        }
      }
      if (!ahead_.empty() || !queue_.empty()) Wake();  // writes queued meanwhile
      return err;
    }
  }
  auto job = std::make_shared<Job>();
  job->own.assign(Data + done, Data + Count);
  job->data = job->own.data();
  job->size = job->own.size();
  job->owner = std::this_thread::get_id();
  job->timeouts = T;
  if (tried) {
    // This call found the path idle, so it comes before anything queued while it wrote,
    // whether the driver took some of it or none.
    job->StartClock(start);
    queue_.push_front(job);
  } else {
    queue_.push_back(job);
  }
  queuedBytes_ += job->size;
  Wake();
  return 0;
}

int OutputQueue::SendAhead(std::uint8_t Byte) {
  std::lock_guard lock(mutex_);
  if (stopping_) return stopError_;
  ahead_.push_back(Byte);
  Wake();
  return 0;
}

void OutputQueue::Abort(int Error) {
  std::lock_guard lock(mutex_);
  ahead_.clear();
  while (!queue_.empty()) Finish(queue_.front(), Error);
  doneCv_.notify_all();
}

void OutputQueue::Cancel(std::thread::id Owner, int Error) {
  std::lock_guard lock(mutex_);
  std::vector<std::shared_ptr<Job>> mine;
  for (const auto& j : queue_)
    if (!j->waited && j->owner == Owner) mine.push_back(j);
  for (const auto& j : mine) Finish(j, Error);
}

std::size_t OutputQueue::Pending() const {
  std::lock_guard lock(mutex_);
  return ahead_.size() + queuedBytes_;
}

bool OutputQueue::Idle() const {
  std::lock_guard lock(mutex_);
  return IdleLocked();
}

bool OutputQueue::IdleLocked() const {
  return queue_.empty() && ahead_.empty() && !direct_ && !writerActive_;
}

bool OutputQueue::WaitIdle() {
  std::unique_lock lock(mutex_);
  doneCv_.wait(lock, [&] { return stopping_ || IdleLocked(); });
  return !stopping_;
}

void OutputQueue::Stop(int Error) {
  {
    std::lock_guard lock(mutex_);
    if (!stopping_) {
      stopping_ = true;
      stopError_ = Error;
      ahead_.clear();
      while (!queue_.empty()) Finish(queue_.front(), Error);
      Wake();
      doneCv_.notify_all();
    }
  }
  if (writer_.joinable()) writer_.join();
}

void OutputQueue::Wake() {
  workCv_.notify_one();
  if (writerActive_) wake_.Signal();  // the writer may be waiting for room in the driver
}

void OutputQueue::Finish(const std::shared_ptr<Job>& J, int Error) {
  J->finished = true;
  J->error = Error;
  queuedBytes_ -= J->size - J->done;
  if (!queue_.empty() && queue_.front() == J)
    queue_.pop_front();  // the usual case, kept constant-time for long queues of small writes
  else
    queue_.erase(std::remove(queue_.begin(), queue_.end(), J), queue_.end());
  doneCv_.notify_all();
  if (IdleLocked() && wroteSinceDrain_) {
    wroteSinceDrain_ = false;
    onDrained_();
  }
}

bool OutputQueue::WaitWritable(std::unique_lock<std::mutex>& Lock,
                               std::optional<Clock::time_point> Until) {
  int timeout = -1;
  if (Until) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*Until - Clock::now()).count();
    if (left <= 0) return false;
    timeout = static_cast<int>(std::min<long long>(left, 1 << 30));
  }
  writerActive_ = true;
  Lock.unlock();
  pollfd p[2] = {{fd_, POLLOUT, 0}, {static_cast<int>(wake_.Native()), POLLIN, 0}};
  ::poll(p, 2, timeout);
  wake_.Reset();
  Lock.lock();
  writerActive_ = false;
  return !Until || Clock::now() < *Until;
}

void OutputQueue::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    workCv_.wait(lock,
                 [&] { return stopping_ || (!direct_ && (!ahead_.empty() || !queue_.empty())); });
    if (stopping_) return;
    if (!ahead_.empty()) {
      const std::uint8_t byte = ahead_.front();
      std::size_t done = 0;
      writerActive_ = true;
      lock.unlock();
      const int err = WriteNow(&byte, 1, done);
      lock.lock();
      writerActive_ = false;
      if (err == EAGAIN) {
        WaitWritable(lock, std::nullopt);
        continue;
      }
      // A byte the driver refuses is dropped: its sender was told it was queued.
      if (!ahead_.empty()) ahead_.pop_front();
      if (done > 0) wroteSinceDrain_ = true;
      if (IdleLocked()) doneCv_.notify_all();
      continue;
    }
    const std::shared_ptr<Job> job = queue_.front();
    job->StartClock(Clock::now());
    std::size_t done = job->done;
    writerActive_ = true;
    job->inFlight = true;
    lock.unlock();
    const int err = WriteNow(job->data, job->size, done);
    lock.lock();
    writerActive_ = false;
    job->inFlight = false;
    if (done > job->done) wroteSinceDrain_ = true;
    if (job->finished) {  // aborted while the driver took its bytes
      doneCv_.notify_all();
      if (IdleLocked() && wroteSinceDrain_) {
        wroteSinceDrain_ = false;
        onDrained_();
      }
      continue;
    }
    queuedBytes_ -= done - job->done;
    job->done = done;
    if (err == 0) {
      Finish(job, 0);
    } else if (err == EAGAIN) {
      if (!WaitWritable(lock, job->deadline) && !job->finished) Finish(job, ETIMEDOUT);
    } else {
      Finish(job, err);
    }
  }
}

}  // namespace sk::platform::posix
