#include "serialkit/testing/fake_serial_device.h"

#include <algorithm>
#include <cstdio>

#include "serialkit/platform/system_error.h"
#include "serialkit/platform/tick.h"

namespace sk::platform {

namespace {
std::string Hex(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", v);
  return buf;
}
}  // namespace

FakeSerialDevice::FakeSerialDevice() {
  dcb_.DCBlength = kDcbLength;
  dcb_.BaudRate = 9600;
  dcb_.ByteSize = 8;
}

FakeSerialDevice::~FakeSerialDevice() = default;

bool FakeSerialDevice::Enter(Op Operation, const std::string& Entry) {
  journal_.push_back(Entry);
  journalTimes_.push_back(GetTickCount());
  for (ScheduledChunk& c : scheduled_)
    if (!c.triggered && !c.after.empty() && c.after == Entry && ++c.seen == c.occurrence) {
      c.triggered = true;
      c.triggerTick = journalTimes_.back();
    }
  ++calls_[Operation];
  std::uint32_t error = 0;
  if (closed_) {
    error = SystemErrorCode(TSystemError::InvalidHandle);
  } else if (auto f = failures_.find(Operation); f != failures_.end() && f->second != 0) {
    error = f->second;
  } else if (lost_ && (Operation == Op::WaitCommEvent || Operation == Op::Read ||
                       Operation == Op::Write || Operation == Op::WriteAsync ||
                       Operation == Op::TransmitCommChar || Operation == Op::ClearCommError)) {
    error = SystemErrorCode(TSystemError::DeviceLost);
  }
  if (error == 0) return true;
  SetLastError(error);
  return false;
}

void FakeSerialDevice::Post(std::uint32_t Events) {
  if (Events == 0) return;
  pendingEvents_ |= Events;
  wake_.Signal();
}

// --- Script -----------------------------------------------------------------------------

void FakeSerialDevice::FailOperation(Op Operation, std::uint32_t Error) {
  std::lock_guard lock(mutex_);
  failures_[Operation] = Error;
}

void FakeSerialDevice::SetModemStatus(std::uint32_t ModemStat) {
  std::lock_guard lock(mutex_);
  const std::uint32_t changed = ModemStat ^ modem_;
  modem_ = ModemStat;
  std::uint32_t events = 0;
  if ((changed & MS_CTS_ON) != 0) events |= EV_CTS;
  if ((changed & MS_DSR_ON) != 0) events |= EV_DSR;
  if ((changed & MS_RLSD_ON) != 0) events |= EV_RLSD;
  if ((changed & ModemStat & MS_RING_ON) != 0) events |= EV_RING;
  Post(events & mask_);
}

void FakeSerialDevice::InjectLineErrors(std::uint32_t Errors) {
  std::lock_guard lock(mutex_);
  if ((Errors & CE_FRAME) != 0) ++counters_.frame;
  if ((Errors & CE_OVERRUN) != 0) ++counters_.overrun;
  if ((Errors & CE_RXPARITY) != 0) ++counters_.parity;
  if ((Errors & CE_BREAK) != 0) ++counters_.brk;
  if ((Errors & CE_RXOVER) != 0) ++counters_.bufOverrun;
  std::uint32_t events = 0;
  if ((Errors & CE_BREAK) != 0) events |= EV_BREAK;
  if ((Errors & (CE_FRAME | CE_OVERRUN | CE_RXPARITY)) != 0) events |= EV_ERR;
  Post(events & mask_);
}

void FakeSerialDevice::ReceiveBytes(const std::vector<std::uint8_t>& Bytes) {
  std::lock_guard lock(mutex_);
  input_.insert(input_.end(), Bytes.begin(), Bytes.end());
  std::uint32_t events = Bytes.empty() ? 0 : EV_RXCHAR;
  if (std::find(Bytes.begin(), Bytes.end(), static_cast<std::uint8_t>(dcb_.EvtChar)) != Bytes.end())
    events |= EV_RXFLAG;
  Post(events & mask_);
}

void FakeSerialDevice::ScheduleInput(std::vector<std::uint8_t> Bytes, std::uint32_t DelayMs,
                                     std::string After, int Occurrence) {
  std::lock_guard lock(mutex_);
  ScheduledChunk c;
  c.bytes = std::move(Bytes);
  c.delayMs = DelayMs;
  c.after = std::move(After);
  c.occurrence = Occurrence;
  // Following nothing that is still unread: its delay runs from now.
  if (c.after.empty() && scheduled_.empty() && scheduledUnread_ == 0) {
    c.triggered = true;
    c.triggerTick = GetTickCount();
  }
  scheduled_.push_back(std::move(c));
}

void FakeSerialDevice::ReleaseScheduled() {
  while (!scheduled_.empty()) {
    ScheduledChunk& c = scheduled_.front();
    if (!c.triggered || GetTickCount() - c.triggerTick < c.delayMs) return;
    input_.insert(input_.end(), c.bytes.begin(), c.bytes.end());
    scheduledUnread_ += c.bytes.size();
    if (!c.bytes.empty()) Post(EV_RXCHAR & mask_);
    scheduled_.pop_front();
    if (scheduledUnread_ == 0) ScheduledTaken(0);
  }
}

void FakeSerialDevice::ScheduledTaken(std::size_t Count) {
  scheduledUnread_ -= std::min(Count, scheduledUnread_);
  if (scheduledUnread_ != 0 || scheduled_.empty()) return;
  ScheduledChunk& next = scheduled_.front();
  if (!next.triggered && next.after.empty()) {
    next.triggered = true;
    next.triggerTick = GetTickCount();
  }
}

void FakeSerialDevice::RaiseEvents(std::uint32_t Events) {
  std::lock_guard lock(mutex_);
  Post(Events);
}

void FakeSerialDevice::SetOutputQueued(std::uint32_t Count) {
  std::lock_guard lock(mutex_);
  outputQueued_ = Count;
}

void FakeSerialDevice::Disconnect() {
  std::lock_guard lock(mutex_);
  lost_ = true;
  wake_.Signal();
}

// --- Record -----------------------------------------------------------------------------

std::vector<std::string> FakeSerialDevice::Journal() const {
  std::lock_guard lock(mutex_);
  return journal_;
}

void FakeSerialDevice::ClearJournal() {
  std::lock_guard lock(mutex_);
  journal_.clear();
  journalTimes_.clear();
}

std::vector<DCB> FakeSerialDevice::StateHistory() const {
  std::lock_guard lock(mutex_);
  return dcbHistory_;
}

std::vector<std::uint32_t> FakeSerialDevice::JournalTimes() const {
  std::lock_guard lock(mutex_);
  return journalTimes_;
}

DCB FakeSerialDevice::State() const {
  std::lock_guard lock(mutex_);
  return dcb_;
}

COMMTIMEOUTS FakeSerialDevice::Timeouts() const {
  std::lock_guard lock(mutex_);
  return timeouts_;
}

std::uint32_t FakeSerialDevice::Mask() const {
  std::lock_guard lock(mutex_);
  return mask_;
}

std::uint32_t FakeSerialDevice::InQueue() const {
  std::lock_guard lock(mutex_);
  return inQueue_;
}

std::uint32_t FakeSerialDevice::OutQueue() const {
  std::lock_guard lock(mutex_);
  return outQueue_;
}

std::vector<std::uint8_t> FakeSerialDevice::Written() const {
  std::lock_guard lock(mutex_);
  return written_;
}

int FakeSerialDevice::Calls(Op Operation) const {
  std::lock_guard lock(mutex_);
  auto it = calls_.find(Operation);
  return it == calls_.end() ? 0 : it->second;
}

// --- SerialDevice -----------------------------------------------------------------------

void FakeSerialDevice::Close() {
  std::lock_guard lock(mutex_);
  if (closed_) return;
  journal_.push_back("Close");
  closed_ = true;
  wake_.Signal();
}

bool FakeSerialDevice::IsClosed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

bool FakeSerialDevice::SetupComm(std::uint32_t InQueue, std::uint32_t OutQueue) {
  std::lock_guard lock(mutex_);
  if (!Enter(Op::SetupComm,
             "SetupComm " + std::to_string(InQueue) + " " + std::to_string(OutQueue)))
    return false;
  inQueue_ = InQueue;
  outQueue_ = OutQueue;
  return true;
}

bool FakeSerialDevice::GetCommState(DCB& Dcb) {
  std::lock_guard lock(mutex_);
  if (closed_) {
    SetLastError(SystemErrorCode(TSystemError::InvalidHandle));
    return false;
  }
  Dcb = dcb_;
  return true;
}

bool FakeSerialDevice::SetCommState(const DCB& Dcb) {
  std::lock_guard lock(mutex_);
  if (!Enter(Op::SetCommState, "SetCommState")) return false;
  dcb_ = Dcb;
  dcbHistory_.push_back(Dcb);
  return true;
}

bool FakeSerialDevice::GetCommTimeouts(COMMTIMEOUTS& Timeouts) {
  std::lock_guard lock(mutex_);
  Timeouts = timeouts_;
  return !closed_;
}

bool FakeSerialDevice::SetCommTimeouts(const COMMTIMEOUTS& Timeouts) {
  std::lock_guard lock(mutex_);
  if (!Enter(Op::SetCommTimeouts, "SetCommTimeouts")) return false;
  timeouts_ = Timeouts;
  return true;
}

bool FakeSerialDevice::GetCommMask(std::uint32_t& Mask) {
  std::lock_guard lock(mutex_);
  Mask = mask_;
  return !closed_;
}

bool FakeSerialDevice::SetCommMask(std::uint32_t Mask) {
  std::lock_guard lock(mutex_);
  if (!Enter(Op::SetCommMask, "SetCommMask " + Hex(Mask))) return false;
  mask_ = Mask;
  ++maskGeneration_;
  wake_.Signal();
  return true;
}

bool FakeSerialDevice::WaitCommEvent(std::uint32_t& Events, NativeHandle WakeFd) {
  Events = 0;
  std::unique_lock lock(mutex_);
  if (!Enter(Op::WaitCommEvent, "WaitCommEvent")) return false;
  const std::uint32_t generation = maskGeneration_;
  for (;;) {
    if (closed_) {
      SetLastError(SystemErrorCode(TSystemError::InvalidHandle));
      return false;
    }
    if (lost_) {
      SetLastError(SystemErrorCode(TSystemError::DeviceLost));
      return false;
    }
    if (pendingEvents_ != 0) {
      Events = pendingEvents_;
      pendingEvents_ = 0;
      return true;
    }
    if (maskGeneration_ != generation) return true;
    wake_.Reset();
    lock.unlock();
    const int which = WaitReadable({wake_.Native(), WakeFd}, -1);
    lock.lock();
    if (which == 1) return true;
  }
}

bool FakeSerialDevice::ClearCommError(std::uint32_t* Errors, COMSTAT* Stat) {
  std::lock_guard lock(mutex_);
  if (!Enter(Op::ClearCommError, "ClearCommError")) return false;
  ReleaseScheduled();
  // A clear clears whether or not the caller takes the flags.
  const std::uint32_t errors = errorBaseline_.Clear(counters_);
  if (Errors != nullptr) *Errors = errors;
  if (Stat != nullptr) {
    *Stat = COMSTAT{};
    Stat->cbInQue = static_cast<std::uint32_t>(input_.size());
    Stat->cbOutQue = outputQueued_;
  }
  return true;
}

bool FakeSerialDevice::Read(void* Buffer, std::uint32_t Count, std::uint32_t& ReadCount) {
  std::lock_guard lock(mutex_);
  ReadCount = 0;
  if (!Enter(Op::Read, "Read " + std::to_string(Count))) return false;
  ReleaseScheduled();
  // Never waits: what has arrived is what a read gets.
  const auto n = std::min<std::size_t>(Count, input_.size());
  std::copy_n(input_.begin(), n, static_cast<std::uint8_t*>(Buffer));
  input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(n));
  ReadCount = static_cast<std::uint32_t>(n);
  ScheduledTaken(n);
  return true;
}

bool FakeSerialDevice::Write(const void* Buffer, std::uint32_t Count, std::uint32_t& Written) {
  std::lock_guard lock(mutex_);
  Written = 0;
  if (!Enter(Op::Write, "Write " + std::to_string(Count))) return false;
  const auto* b = static_cast<const std::uint8_t*>(Buffer);
  written_.insert(written_.end(), b, b + Count);
  Written = Count;
  return true;
}

bool FakeSerialDevice::WriteAsync(const void* Buffer, std::uint32_t Count) {
  std::lock_guard lock(mutex_);
  if (!Enter(Op::WriteAsync, "WriteAsync " + std::to_string(Count))) return false;
  const auto* b = static_cast<const std::uint8_t*>(Buffer);
  written_.insert(written_.end(), b, b + Count);
  return true;
}

bool FakeSerialDevice::PurgeComm(std::uint32_t Flags) {
  std::lock_guard lock(mutex_);
  if (!Enter(Op::PurgeComm, "PurgeComm " + Hex(Flags))) return false;
  if ((Flags & PURGE_RXCLEAR) != 0) {
    input_.clear();
    ScheduledTaken(scheduledUnread_);
  }
  if ((Flags & PURGE_TXCLEAR) != 0) outputQueued_ = 0;
  return true;
}

bool FakeSerialDevice::CancelIo() {
  std::lock_guard lock(mutex_);
  return Enter(Op::CancelIo, "CancelIo");
}

bool FakeSerialDevice::FlushFileBuffers() {
  std::lock_guard lock(mutex_);
  if (!Enter(Op::FlushFileBuffers, "FlushFileBuffers")) return false;
  outputQueued_ = 0;
  return true;
}

bool FakeSerialDevice::TransmitCommChar(std::uint8_t Ch) {
  std::lock_guard lock(mutex_);
  if (!Enter(Op::TransmitCommChar, "TransmitCommChar " + Hex(Ch))) return false;
  written_.push_back(Ch);
  return true;
}

bool FakeSerialDevice::EscapeCommFunction(std::uint32_t Func) {
  std::lock_guard lock(mutex_);
  return Enter(Op::EscapeCommFunction, "EscapeCommFunction " + std::to_string(Func));
}

bool FakeSerialDevice::GetCommModemStatus(std::uint32_t& ModemStat) {
  std::lock_guard lock(mutex_);
  ModemStat = 0;
  if (!Enter(Op::GetCommModemStatus, "GetCommModemStatus")) return false;
  ModemStat = modem_;
  return true;
}

bool FakeSerialDevice::GetCommProperties(COMMPROP& Prop) {
  std::lock_guard lock(mutex_);
  if (!Enter(Op::GetCommProperties, "GetCommProperties")) return false;
  Prop = COMMPROP{};
  Prop.wPacketLength = sizeof(COMMPROP);
  Prop.wPacketVersion = 2;
  Prop.dwServiceMask = SP_SERIALCOMM;
  Prop.dwMaxBaud = BAUD_USER;
  Prop.dwProvSubType = PST_RS232;
  Prop.dwCurrentRxQueue = inQueue_;
  Prop.dwCurrentTxQueue = outQueue_;
  return true;
}

}  // namespace sk::platform
