#include "serialkit/platform/win32/serial_output_win32.h"

#include <algorithm>

#include "serialkit/platform/win32/overlapped_io.h"

namespace sk::platform::win32 {

namespace {

HANDLE AsHandle(NativeHandle H) {
  return reinterpret_cast<HANDLE>(H);
}

}  // namespace

OutputPath::OutputPath(HANDLE Device) : device_(Device) {
  writer_ = std::thread([this] { Run(); });
}

OutputPath::~OutputPath() {
  Stop(ERROR_INVALID_HANDLE);
}

DWORD OutputPath::WriteOnce(const std::uint8_t* Data, DWORD Count, DWORD& Written, HANDLE Done,
                            HANDLE Cancel) {
  Written = 0;
  OVERLAPPED ov{};
  ov.hEvent = Done;  // WriteFile resets it
  if (::WriteFile(device_, Data, Count, &Written, &ov)) return 0;
  const DWORD error = ::GetLastError();
  if (error != ERROR_IO_PENDING) return error;
  const IoOutcome r = FinishOverlapped(device_, ov, {Cancel});
  Written = r.transferred;
  if (!r.ok) return r.error;
  return 0;
}

DWORD OutputPath::Write(const std::uint8_t* Data, DWORD Count, DWORD& Written) {
  Written = 0;
  std::unique_lock lock(mutex_);
  if (stopping_) return stopError_;
  if (IdleLocked()) {
    direct_ = true;
    directOwner_ = std::this_thread::get_id();
    directCancel_.Reset();
    lock.unlock();
    const DWORD error = WriteOnce(Data, Count, Written, AsHandle(directDone_.Native()),
                                  AsHandle(directCancel_.Native()));
    lock.lock();
    direct_ = false;
    if (!queue_.empty()) workCv_.notify_all();
    doneCv_.notify_all();
    return error;
  }
  auto job = std::make_shared<Job>();
  job->data = Data;
  job->count = Count;
  job->waited = true;
  job->owner = std::this_thread::get_id();
  queue_.push_back(job);
  queuedBytes_ += Count;
  workCv_.notify_all();
  doneCv_.wait(lock, [&] { return job->done; });
  Written = job->written;
  return job->error;
}

DWORD OutputPath::WriteAsync(const std::uint8_t* Data, DWORD Count) {
  auto job = std::make_shared<Job>();
  job->copy.assign(Data, Data + Count);
  job->data = job->copy.data();
  job->count = Count;
  job->owner = std::this_thread::get_id();
  std::lock_guard lock(mutex_);
  if (stopping_) return stopError_;
  queue_.push_back(job);
  queuedBytes_ += Count;
  workCv_.notify_all();
  return 0;
}

void OutputPath::Finish(const std::shared_ptr<Job>& J, DWORD Error) {
  if (J->done) return;
  J->done = true;
  J->error = Error;
  if (J != inFlight_) queuedBytes_ -= J->count;
}

void OutputPath::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    workCv_.wait(lock, [&] { return stopping_ || (!queue_.empty() && !direct_); });
    if (stopping_) return;
    inFlight_ = queue_.front();
    queuedBytes_ -= inFlight_->count;
    writerCancel_.Reset();
    const auto job = inFlight_;
    lock.unlock();
    DWORD written = 0;
    const DWORD error = WriteOnce(job->data, job->count, written, AsHandle(writerDone_.Native()),
                                  AsHandle(writerCancel_.Native()));
    lock.lock();
    job->written = written;
    // A write that was aborted meanwhile keeps the abort's error.
    if (!job->done) {
      job->done = true;
      job->error = error == 0 && written < job->count ? ERROR_TIMEOUT : error;
    }
    inFlight_.reset();
    if (!queue_.empty() && queue_.front() == job) queue_.pop_front();
    doneCv_.notify_all();
  }
}

void OutputPath::Abort(DWORD Error) {
  std::lock_guard lock(mutex_);
  for (const auto& j : queue_) Finish(j, Error);
  if (inFlight_) {
    writerCancel_.Signal();
    queue_.erase(
        std::remove_if(queue_.begin(), queue_.end(), [&](const auto& j) { return j != inFlight_; }),
        queue_.end());
  } else {
    queue_.clear();
  }
  if (direct_) directCancel_.Signal();
  doneCv_.notify_all();
}

void OutputPath::Cancel(std::thread::id Owner, DWORD Error) {
  std::lock_guard lock(mutex_);
  for (auto it = queue_.begin(); it != queue_.end();) {
    const auto& j = *it;
    if (j->waited || j->owner != Owner) {
      ++it;
    } else if (j == inFlight_) {
      Finish(j, Error);
      writerCancel_.Signal();
      ++it;
    } else {
      Finish(j, Error);
      it = queue_.erase(it);
    }
  }
  doneCv_.notify_all();
}

std::size_t OutputPath::Pending() const {
  std::lock_guard lock(mutex_);
  return queuedBytes_;
}

bool OutputPath::WaitIdle() {
  std::unique_lock lock(mutex_);
  doneCv_.wait(lock, [&] { return stopping_ || IdleLocked(); });
  return !stopping_;
}

void OutputPath::Stop(DWORD Error) {
  {
    std::lock_guard lock(mutex_);
    if (!stopping_) {
      stopping_ = true;
      stopError_ = Error;
    }
  }
  Abort(Error);
  workCv_.notify_all();
  if (writer_.joinable() && writer_.get_id() != std::this_thread::get_id()) writer_.join();
}

}  // namespace sk::platform::win32
