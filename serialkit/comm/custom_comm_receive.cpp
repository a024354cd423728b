// The two worker threads of the serial port, the handling of one port event, and the direct
// reads.
#include <algorithm>
#include <exception>
#include <system_error>

#include "serialkit/comm/comm_messages.h"
#include "serialkit/comm/comm_thread.h"
#include "serialkit/comm/custom_comm.h"
#include "serialkit/comm/msg_thread.h"
#include "serialkit/comm/port_waits.h"
#include "serialkit/core/fatal_error_codes.h"
#include "serialkit/platform/application.h"
#include "serialkit/platform/serial_device.h"
#include "serialkit/platform/system_error.h"
#include "serialkit/platform/tick.h"

namespace sk {

namespace {

// All five line-error flags at once: what a device that has gone away reports.
constexpr std::uint32_t kDeviceLost = CE_RXOVER | CE_OVERRUN | CE_RXPARITY | CE_FRAME | CE_BREAK;
static_assert(kDeviceLost == 0x1F);
constexpr std::uint32_t kHoldFlags = COMSTAT_fCtsHold | COMSTAT_fDsrHold | COMSTAT_fRlsdHold |
                                     COMSTAT_fXoffHold | COMSTAT_fXoffSent | COMSTAT_fEof |
                                     COMSTAT_fTxim;
constexpr std::size_t kMinReadBuffer = 8192;

}  // namespace

// --- Worker threads ------------------------------------------------------------------------

void TskCustomComm::StartThreads() {
  StopThreads();
  // The message worker's queue exists once it has started, so the event worker, started
  // second, never posts into nothing: no pause is needed between the two.
  auto msg = std::make_unique<TMsgThread>(*this);
  auto events = std::make_unique<TCommThread>(*this, msg->ThreadID(), msg->Ended());
  std::lock_guard lock(threadsMutex_);
  MsgThread = std::move(msg);
  CommThread = std::move(events);
}

void TskCustomComm::StopThreads() {
  std::vector<std::unique_ptr<platform::TThread>> threads;
  {
    std::lock_guard lock(threadsMutex_);
    // The event worker first: it is the one that posts to the other.
    if (CommThread) threads.push_back(std::move(CommThread));
    if (MsgThread) threads.push_back(std::move(MsgThread));
  }
  StopWorkers(std::move(threads));
}

// --- Receive buffer ------------------------------------------------------------------------

void TskCustomComm::AllocReadBuffer() {
  auto buffer = std::make_shared<std::vector<Byte>>(
      std::max<std::size_t>(fBufferInSize.load(), kMinReadBuffer), Byte{0});
  std::lock_guard lock(bufferMutex_);
  glBuffer = std::move(buffer);
}

void TskCustomComm::FreeReadBuffer() {
  std::shared_ptr<std::vector<Byte>> old;
  std::lock_guard lock(bufferMutex_);
  old.swap(glBuffer);
}

std::shared_ptr<std::vector<Byte>> TskCustomComm::ReadBuffer() {
  std::lock_guard lock(bufferMutex_);
  if (!glBuffer)
    glBuffer = std::make_shared<std::vector<Byte>>(
        std::max<std::size_t>(fBufferInSize.load(), kMinReadBuffer), Byte{0});
  return glBuffer;
}

COMSTAT TskCustomComm::LastStat() const {
  std::lock_guard lock(bufferMutex_);
  return Stat;
}

// --- One port event ------------------------------------------------------------------------

void TskCustomComm::HandleCommEvent(const platform::TMsg& Msg) {
  if (Msg.message != MsgComEvent()) return;
  // Whatever the event did, a wait for bytes or a line looks again.
  struct WakeWaits {
    TPortWaits& waits;
    ~WakeWaits() { waits.WakeAll(); }
  } wakeWaits{*waits_};
  try {
    // The device of this event throughout: should the port be closed and opened again
    // meanwhile, this event's calls fail rather than reach the next open.
    const THandle h = Handle();
    if (!h) return;
    std::uint32_t errors = 0;
    COMSTAT stat;
    auto refresh = [&] {
      if (!h->ClearCommError(&errors, &stat)) return false;
      std::lock_guard lock(bufferMutex_);
      Stat = stat;
      return true;
    };
    if (!refresh()) return;
    if (errors == kDeviceLost) {
      InternalCloseDevice(h, false);
      return;
    }
    if (errors != 0) {
      // The waiting bytes stay in the queue for the next event.
      DoCommError(errors, 0, ComStatFlags(stat) & kHoldFlags);
      return;
    }
    const auto events = static_cast<std::uint32_t>(Msg.wParam);

    if ((events & EV_RXCHAR) != 0 && stat.cbInQue > 0) {
      const bool read = InSet(TraceStates(), tsRxChar) || IsReadRequired();
      // Counted as waiting now, whether read or not; bytes that come during the reads
      // below are read but not counted.
      fTotalReceived.fetch_add(stat.cbInQue, std::memory_order_relaxed);
      if (read) {
        const auto buffer = ReadBuffer();
        const auto size = static_cast<std::uint32_t>(buffer->size());
        do {
          // What is there now, never a wait for the measured count: a purge or a direct read
          // in another thread may have taken some, and a read waiting for them would swallow
          // the next answer.
          std::uint32_t got = 0;
          if (!h->ReadAvailable(buffer->data(), std::min<std::uint32_t>(stat.cbInQue, size), got))
            break;
          // Nothing there after all (counted by the driver a moment before it can be read):
          // the event worker reports it once it can be.
          if (got == 0) break;
          chunksRead_.fetch_add(1, std::memory_order_relaxed);
          DoReceived(buffer->data(), got);
          // Only a full buffer can have left measured bytes behind. Bytes that came since
          // make the input readable again and arrive as an event of their own: looking now
          // would put three system calls between each answer and the loop's next frame.
          if (got < size || !refresh()) break;
          if (errors != 0) {
            // Come while the buffer was being emptied: reported, not cleared unseen; the
            // rest waits for the next event like any input behind a line error.
            DoCommError(errors, 0, ComStatFlags(stat) & kHoldFlags);
            break;
          }
        } while (stat.cbInQue > 0);
      }
    }

    if ((events & EV_TXEMPTY) != 0) {
      if (SoftwareRS485()) SetStateRTS(false);
      const bool ignore = DoSendComplete();
      if (InSet(TraceStates(), tsTxEmpty) && !ignore) fOnSent.Call(this);
    }

    // Line changes reported only for a wait are no trace events.
    const std::uint32_t waitOnly = waits_->Events() & ~EventMaskOf(TraceStates(), SoftwareRS485());
    const TTraceStates states = TraceStatesOf(events & ~waitOnly);
    if (states != 0) DoTraceState(this, states);
  } catch (const platform::SystemException& e) {
    // The code travels with the exception: the thread's last error may have changed on the
    // way out (destructors, unlocking).
    DoFatalError(kFatalDeviceError, e.Code(), e.what(), true);
  } catch (const std::system_error& e) {
    DoFatalError(kFatalDeviceError, static_cast<std::uint32_t>(e.code().value()), e.what(), true);
  } catch (const std::exception& e) {
    DoFatalError(kFatalDeviceError, 0, e.what(), true);  // no system call failed
  }
}

THandle TskCustomComm::InputToWatch() const {
  if (!(InSet(TraceStates(), tsRxChar) || IsReadRequired())) return nullptr;
  if ((EventMask() & (EV_RXFLAG | EV_RX80FULL)) != 0) return nullptr;
  THandle h = Handle();
  return h && h->InputWaitHandle() != platform::kNoNativeHandle ? h : nullptr;
}

// --- Direct reads --------------------------------------------------------------------------

std::uint32_t TskCustomComm::ReadCount(Byte* Buffer, std::uint32_t Len, bool Wait) {
  THandle h = Handle();
  std::uint32_t got = 0;
  if (!h || Len == 0) return 0;
  if (!(Wait ? h->Read(Buffer, Len, got) : h->ReadAvailable(Buffer, Len, got))) return 0;
  return got;
}

void TskCustomComm::Read(Byte* Buffer, std::uint32_t Len) {
  ReadCount(Buffer, Len, true);
}

// The reads of "what is waiting" take what is still there when they read: the message worker
// may have taken some of the measured bytes meanwhile, and waiting for that many new ones
// would hold back the next answer.

void TskCustomComm::ReadAll(ByteString& Buffer) {
  Buffer.resize(ReadyForRead());
  Buffer.resize(ReadCount(Buffer.data(), static_cast<std::uint32_t>(Buffer.size()), false));
}

std::int32_t TskCustomComm::ReadMax(Byte* Buffer, std::uint32_t MaxLen) {
  const std::uint32_t n = std::min(MaxLen, ReadyForRead());
  return static_cast<std::int32_t>(ReadCount(Buffer, n, false));
}

ByteString TskCustomComm::ReadString() {
  ByteString s;
  ReadAll(s);
  return s;
}

}  // namespace sk
