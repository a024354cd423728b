#include "serialkit/dataproc/data_protocol.h"
#include "serialkit/core/fatal_error_codes.h"

#include <algorithm>
#include <exception>

namespace sk {

// Holds the definitions for the calling thread. The outermost holder applies a reset that
// another thread asked for, on taking them and again as it lets go.
class TskDataProtocol::TDefinitionsLock {
 public:
  explicit TDefinitionsLock(TskDataProtocol& P) : p_(P) {
    p_.definitionsMutex_.lock();
    Enter();
  }
  TDefinitionsLock(TskDataProtocol& P, std::try_to_lock_t) : p_(P) {
    if (p_.definitionsMutex_.try_lock()) Enter();
  }
  ~TDefinitionsLock() { Unlock(); }
  TDefinitionsLock(const TDefinitionsLock&) = delete;
  TDefinitionsLock& operator=(const TDefinitionsLock&) = delete;

  bool OwnsLock() const { return owns_; }
  void Unlock() {
    if (!owns_) return;
    owns_ = false;
    const bool outermost = --p_.definitionsDepth_ == 0;
    p_.definitionsMutex_.unlock();
    if (outermost) p_.TryApplyPendingReset();
  }

 private:
  void Enter() {
    owns_ = true;
    if (p_.definitionsDepth_++ == 0) p_.ApplyPendingReset();
  }

  TskDataProtocol& p_;
  bool owns_ = false;
};

TskDataProtocol::TskDataProtocol(TComponent* AOwner, platform::TApplication& App)
    : TskCustomDataProcessor(AOwner, App), fPackets(std::make_unique<TskDataPackets>(this)) {
  sLogPrefix = "skDataProt: ";
}

TskDataProtocol::~TskDataProtocol() {
  BeginDestroy();
  SetDevice(nullptr);
  // No tick may reach the definitions once they are gone.
  ReleaseAsyncTimer();
  fPackets.reset();
}

void TskDataProtocol::SetDataPackets(const TskDataPackets& Value) {
  if (&Value == fPackets.get()) return;
  TDefinitionsLock lock(*this);
  fPackets->Assign(Value);
}

std::uint32_t TskDataProtocol::TimeoutInterval() const {
  const std::int32_t t = fTimeout.load();
  return t > 0 ? static_cast<std::uint32_t>(t) : 0;
}

// --- Received data -------------------------------------------------------------------------

void TskDataProtocol::DoProcessing(const Byte* Data, std::uint32_t Len, TIgnoreTypes& R) {
  {
    TDefinitionsLock lock(*this);
    std::uint32_t interval = TimeoutInterval();
    if (Active() && fPackets->Count() > 0) {
      const std::uint32_t count = Data != nullptr ? Len : 0;
      for (std::uint32_t i = 0; i < count; ++i) {
        const std::int32_t n = std::clamp(DecodeByte(Data[i], decodedBuffer), 0, 2);
        // A handler may feed bytes of its own, which reuse the scratch buffer.
        const std::array<Byte, 2> decoded = decodedBuffer;
        for (std::int32_t k = 0; k < n; ++k) ProcessByte(decoded[static_cast<std::size_t>(k)]);
        if (!Active()) {
          interval = 0;
          break;
        }
      }
      StartAsyncTimer(interval);
      if (flSkipFurtherProcessing.load()) R = SetOf<TIgnoreTypes>(itTerminal);
      possibleAfterChunk_.store(fPackets->IsPacketPossible());
    }
  }
  TskCustomDataProcessor::DoProcessing(Data, Len, R);
}

std::int32_t TskDataProtocol::DecodeByte(Byte ch, std::array<Byte, 2>& Decoded) {
  Decoded[0] = ch;
  return 1;
}

std::int32_t TskDataProtocol::ProcessByte(Byte ch) {
  const std::int32_t index = fPackets->IsPacket(ch);
  if (index >= 0) {
    DoDataPacket(index);
    StartAsyncTimer(0);
    // The handler may have removed definitions.
    if (index < fPackets->Count()) fPackets->Items(index).Reset();
  }
  return index;
}

void TskDataProtocol::DoDataPacket(std::int32_t Index) {
  if (Index < 0) return;
  TskDataPacket& packet = fPackets->Items(Index);
  // Without a log the report allocates nothing.
  if (Log() != nullptr) WriteLog(dlDebug, "DataPacket is detected: " + packet.GetDisplayName());
  try {
    fOnDataPacket.Call(this, &packet);
  } catch (const std::exception& e) {
    DoFatalErrors(kFatalHandlerError, kFatalHandlerDetail,
                  "EXCEPTION in DataPacket handler [" + packet.GetDisplayName() + "]" + e.what());
  }
}

// --- Resets --------------------------------------------------------------------------------

void TskDataProtocol::ApplyPendingReset() {
  if (resetPending_.exchange(false)) fPackets->Reset();
}

void TskDataProtocol::TryApplyPendingReset() {
  // A reset asked for by another thread just after this one looked is applied by the next
  // thread that takes the definitions, before any byte.
  while (resetPending_.load() && definitionsMutex_.try_lock()) {
    ApplyPendingReset();
    definitionsMutex_.unlock();
  }
}

void TskDataProtocol::Reset() {
  resetPending_.store(true);
  TryApplyPendingReset();
}

bool TskDataProtocol::IsPacketPossible() {
  TDefinitionsLock lock(*this, std::try_to_lock);
  if (lock.OwnsLock()) return fPackets->IsPacketPossible();
  return possibleAfterChunk_.load();
}

void TskDataProtocol::DoMediumOpened() {
  flSkipFurtherProcessing.store(false);
  Reset();
  TskCustomDataProcessor::DoMediumOpened();
}

void TskDataProtocol::DoMediumClosed() {
  TskCustomDataProcessor::DoMediumClosed();
  flSkipFurtherProcessing.store(false);
  Reset();
}

// --- Timeout -------------------------------------------------------------------------------

void TskDataProtocol::DoAsyncTimeout(TObject* Sender) {
  TDefinitionsLock lock(*this, std::try_to_lock);
  // A chunk is being processed in another thread: the silence is over, and that thread
  // restarts the countdown when it is done. The timer stays armed meanwhile, so that the
  // next tick comes should that thread fail before it does.
  if (!lock.OwnsLock()) return;
  std::uint64_t armings = 0;
  if (!BeginAsyncTimeout(Sender, armings)) return;
  bool ignored = false;
  DoAfterSendComplete(ignored);
  const std::int32_t index = fPackets->TimeoutPacketIndex();
  if (index >= 0) {
    // The handler reads the definition, so the receive thread waits for it: a handler of a
    // packet that ends by silence must not itself wait for the receive thread (by closing the
    // port, say). Without a handler the packet is dropped unreported.
    if (fOnDataPacket.IsSet()) DoDataPacket(index);
    if (index < fPackets->Count()) fPackets->Items(index).Reset();
  } else {
    // OnTimeout reads no definition: the receive thread need not wait for it.
    lock.Unlock();
    DoTimeout();
  }
  EndAsyncTimeout(armings);
}

void TskDataProtocol::DoTimeout() {
  try {
    fOnTimeout.Call(this);
  } catch (const std::exception& e) {
    DoFatalErrors(kFatalHandlerError, kFatalHandlerDetail,
                  std::string("EXCEPTION in OnTimout handler.") + e.what());
  }
}

}  // namespace sk
