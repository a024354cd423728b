#include "serialkit/dataproc/custom_data_processor.h"

#include "serialkit/comm/base_io.h"
#include "serialkit/comm/timer.h"
#include "serialkit/platform/serial_device.h"

namespace sk {

namespace {

// The processors of this thread that are handing a chunk on right now, innermost first. A
// chain may loop back (A -> B -> A: each link is set on its own, so nothing stops it being
// built), and a chunk must still reach every processor of the chain once and then stop, so a
// processor does not hand a chunk to one that is already handing that chunk on. Kept on the
// stack: the per-chunk path allocates nothing.
struct TChainStep {
  const TskCustomDataProcessor* processor;
  const TChainStep* outer;
};
thread_local const TChainStep* tlChain = nullptr;

bool InChain(const TskCustomDataProcessor* Processor) {
  for (const TChainStep* s = tlChain; s != nullptr; s = s->outer)
    if (s->processor == Processor) return true;
  return false;
}

// Bytes fed by DataReceive are a chunk of their own, even when fed from inside a handler that
// runs while another chunk is handed on.
class TNewChunk {
 public:
  TNewChunk() : saved_(tlChain) { tlChain = nullptr; }
  ~TNewChunk() { tlChain = saved_; }
  TNewChunk(const TNewChunk&) = delete;
  TNewChunk& operator=(const TNewChunk&) = delete;

 private:
  const TChainStep* saved_;
};

}  // namespace

TskCustomDataProcessor::TskCustomDataProcessor(TComponent* AOwner, platform::TApplication& App)
    : TskDataProcessorLink(AOwner), app_(App), fTimerAsync(std::make_unique<TskTimer>(App)) {
  fTimerAsync->SetEnabled(false);
  fTimerAsync->SetOnTimer(TNotifyEvent(this, &TskCustomDataProcessor::DoAsyncTimeout));
}

TskCustomDataProcessor::~TskCustomDataProcessor() {
  BeginDestroy();
  SetDevice(nullptr);
  ReleaseAsyncTimer();
}

void TskCustomDataProcessor::ReleaseAsyncTimer() {
  std::unique_ptr<TskTimer> timer;
  {
    std::lock_guard lock(timerMutex_);
    timer = std::move(fTimerAsync);
  }
  // Outside the lock: a tick still running in the timer's thread may be waiting for it.
  timer.reset();
}

// --- Links ---------------------------------------------------------------------------------

void TskCustomDataProcessor::SetDevice(TskBaseIO* Value) {
  TskBaseIO* old = fDevice.load();
  if (old != nullptr && old != Value) old->NotifyDelete(DeviceNotifyEvent());
  fDevice.store(Value);
  if (Value != nullptr) {
    FreeNotification(Value);
    Value->NotifyAdd(DeviceNotifyEvent());
  }
}

void TskCustomDataProcessor::SetDataProcessor(TskCustomDataProcessor* Value) {
  if (Value == this) return;
  fDataProcessor.store(Value);
  if (Value != nullptr) {
    FreeNotification(Value);
    Value->SetDevice(fDevice.load());
  }
}

void TskCustomDataProcessor::SetLog(TskCustomLogFile* Value) {
  fLog.store(Value);
  if (Value != nullptr) FreeNotification(Value);
}

void TskCustomDataProcessor::SetActive(bool Value) {
  fActive.store(Value);
}

void TskCustomDataProcessor::Notification(TComponent* AComponent, TOperation Operation) {
  TskDataProcessorLink::Notification(AComponent, Operation);
  if (Operation != TOperation::opRemove || AComponent == nullptr) return;
  if (AComponent == fDataProcessor.load()) SetDataProcessor(nullptr);
  // The device's notify list goes with the device: the link is only forgotten, since a
  // device may already be partly torn down when it tells of its destruction.
  if (AComponent == fDevice.load()) fDevice.store(nullptr);
  if (AComponent == fLog.load()) fLog.store(nullptr);
}

// --- Device notifications ------------------------------------------------------------------

void TskCustomDataProcessor::DeviceNotify(TObject*, std::int32_t Code) {
  if (Code == ncPortClosed)
    DoMediumClosed();
  else if (Code == ncPortOpened)
    DoMediumOpened();
}

void TskCustomDataProcessor::DoMediumClosed() {
  WriteLog(dlDebug, "Medium Closed");
}

void TskCustomDataProcessor::DoMediumOpened() {
  WriteLog(dlDebug, "Medium Opened");
}

// --- Received data -------------------------------------------------------------------------

void TskCustomDataProcessor::DoProcessing(const Byte* Data, std::uint32_t Len, TIgnoreTypes& R) {
  TskCustomDataProcessor* next = fDataProcessor.load();
  if (next == nullptr || InChain(next)) return;
  const TChainStep step{this, tlChain};
  tlChain = &step;
  struct Restore {
    const TChainStep* outer;
    ~Restore() { tlChain = outer; }
  } restore{step.outer};
  next->DoProcessing(Data, Len, R);
}

void TskCustomDataProcessor::DataReceive(const Byte* ptrBuffer, std::uint32_t Len) {
  TIgnoreTypes r = 0;
  TNewChunk chunk;
  DoProcessing(ptrBuffer, ptrBuffer != nullptr ? Len : 0, r);
}

void TskCustomDataProcessor::DoAfterSendComplete(bool&) {}

// --- Sending -------------------------------------------------------------------------------

void TskCustomDataProcessor::DoDataSend(const Byte* ptrBuffer, std::uint32_t Len) {
  if (Len == 0 || ptrBuffer == nullptr) return;
  try {
    bool handled = false;
    fOnDataSend.Call(this, ptrBuffer, Len, false, handled);
    if (handled) {
      // The hook sent the bytes: the timer stands in for the transmitter running empty.
      std::lock_guard lock(timerMutex_);
      if (fTimerAsync) ArmTimer(fTimerAsync->Interval());
    } else {
      TskBaseIO* device = fDevice.load();
      // Without a device nothing was sent, and the log does not say otherwise.
      if (device == nullptr) return;
      device->SendData(ptrBuffer, Len);
      if (THandle h = device->Handle()) h->FlushFileBuffers();
    }
    WriteLogFmt(dlDebug, "DoDataSend: %u bytes", Len);
  } catch (...) {
    // A send never fails its caller (a throwing hook or log); the failure is reported instead.
    ReportException();
  }
}

void TskCustomDataProcessor::DoStringSend(const ByteString& s) {
  if (s.empty()) return;
  try {
    bool handled = false;
    fOnDataSend.Call(this, s.data(), static_cast<std::uint32_t>(s.size()), true, handled);
    if (handled) return;
    if (TskBaseIO* device = fDevice.load()) device->SendString(s);
  } catch (...) {
    ReportException();
  }
}

// --- Timer ---------------------------------------------------------------------------------

void TskCustomDataProcessor::ArmTimer(std::uint32_t Interval) {
  if (!fTimerAsync) return;
  ++timerArmings_;
  fTimerAsync->SetEnabled(false);
  if (Interval == 0) return;
  // Taken before the timer is armed, so that no tick of this countdown comes before it.
  timerDeadline_ = Clock::now() + std::chrono::milliseconds(Interval);
  fTimerAsync->SetInterval(Interval);
  fTimerAsync->SetEnabled(true);
}

void TskCustomDataProcessor::StartAsyncTimer(std::uint32_t Interval) {
  std::lock_guard lock(timerMutex_);
  ArmTimer(Interval);
}

bool TskCustomDataProcessor::BeginAsyncTimeout(TObject* Sender, std::uint64_t& Armings) {
  std::lock_guard lock(timerMutex_);
  if (!fTimerAsync) return false;
  if (Sender == static_cast<TObject*>(fTimerAsync.get()) &&
      (!fTimerAsync->Enabled() || Clock::now() < timerDeadline_))
    return false;
  fTimerAsync->SetEnabled(false);
  Armings = timerArmings_;
  return true;
}

void TskCustomDataProcessor::EndAsyncTimeout(std::uint64_t Armings) {
  std::lock_guard lock(timerMutex_);
  if (timerArmings_ == Armings) ArmTimer(0);
}

void TskCustomDataProcessor::DoAsyncTimeout(TObject* Sender) {
  std::uint64_t armings = 0;
  if (!BeginAsyncTimeout(Sender, armings)) return;
  bool ignored = false;
  DoAfterSendComplete(ignored);
  EndAsyncTimeout(armings);
}

// --- Errors and log ------------------------------------------------------------------------

void TskCustomDataProcessor::DoFatalErrors(std::uint32_t Code, std::uint32_t Detail,
                                           const std::string& Msg) {
  bool raise = true;
  fOnFatalError.Call(this, Code, Detail, Msg, raise);
  if (TskCustomLogFile* log = fLog.load())
    log->AddLogFmt(dlSimple, "Fatal Error: %u, %u, %s", Code, Detail, Msg);
  if (raise) throw Exception(Msg);
}

void TskCustomDataProcessor::ReportException(std::exception_ptr E) const noexcept {
  app_.ShowException(E);
}

void TskCustomDataProcessor::WriteLog(TDetailLevel Level, const std::string& Text) const {
  if (TskCustomLogFile* log = fLog.load()) log->AddLog(Level, sLogPrefix + Text);
}

}  // namespace sk
