#include "serialkit/comm/base_io.h"

#include <algorithm>

#include "serialkit/comm/data_processor_link.h"
#include "serialkit/comm/thread_io.h"
#include "serialkit/platform/application.h"
#include "serialkit/platform/serial_device.h"
#include "serialkit/platform/system_error.h"
#include "serialkit/platform/thread.h"

namespace sk {

TskBaseIO::TskBaseIO(TComponent* AOwner, platform::TApplication& App)
    : TComponent(AOwner),
      app_(App),
      timerKeepConnection(App, TNotifyEvent(this, &TskBaseIO::KeepConnectionTimer)),
      linkUses_(App) {}

TskBaseIO::~TskBaseIO() {
  // A derived class whose I/O thread uses its own members stops it in its destructor; what
  // is left here are threads that no longer reach a derived part.
  TskBaseIO::StopThreads();
  StopWorkers({});
  timerKeepConnection.Release();
  skNotifyList.Clear();
  TskBaseIO::DeviceListClear();
  // A derived class closes the port; one that did not leaves nothing open behind it.
  if (THandle h = ExchangeHandle(nullptr)) h->Close();
}

// --- Open state ----------------------------------------------------------------------------

THandle TskBaseIO::Handle() const {
  std::lock_guard lock(handleMutex_);
  return fHandle;
}

THandle TskBaseIO::ExchangeHandle(THandle Value) {
  std::lock_guard lock(handleMutex_);
  fHandle.swap(Value);
  return Value;
}

bool TskBaseIO::IsOpened() const {
  return Handle() != nullptr;
}

bool TskBaseIO::Active() const {
  if (IsLoading() || IsDesigning()) return fActive.load();
  return IsOpened();
}

void TskBaseIO::SetActive(bool Value) {
  if (IsLoading()) {
    fActive.store(Value);
    return;
  }
  try {
    if (Value != Active() || IsDesigning()) {
      if (Value)
        DoOpen();
      else
        DoClose();
    } else if (!Value) {
      // A port closed as lost by one worker may have another still inside a handler: once
      // this returns, nothing of the port runs in the components it uses.
      StopThreads();
    }
  } catch (...) {
    // A failed test at design time shows as such, not as the previous result.
    if (IsDesigning()) fActive.store(IsOpened());
    throw;
  }
  if (IsDesigning()) {
    // At design time an open is only a test of the settings.
    fActive.store(IsOpened());
    if (IsOpened()) DoClose();
  }
}

THandle TskBaseIO::DeviceOpen() {
  return nullptr;
}

void TskBaseIO::DeviceClose(const THandle& Handle) {
  if (Handle) Handle->Close();
}

void TskBaseIO::DoOpen() {
  THandle h = DeviceOpen();
  openError_ = h ? 0 : platform::LastError();
  ExchangeHandle(h);
  if (!h) return;
  try {
    fOnOpen.Call(this);
  } catch (...) {
    // A handler's failure does not undo the open.
    ReportException();
  }
  if (isThreaded) StartThreads();
}

void TskBaseIO::DoClose() {
  if (IsOpened()) InternalClose(true);
  if (isThreaded) StopThreads();
}

bool TskBaseIO::ReleaseHandle() {
  return ReleaseHandle(Handle());
}

bool TskBaseIO::ReleaseHandle(const THandle& Device) {
  // Invalid first, so that other threads stop using the port, then released; of two closes
  // racing, only the one that took the handle goes on.
  THandle old;
  {
    std::lock_guard lock(handleMutex_);
    if (!fHandle || fHandle != Device) return false;
    old.swap(fHandle);
  }
  DeviceClose(old);
  try {
    fOnClose.Call(this);
  } catch (...) {
    // The port is closed whatever the handler did.
    ReportException();
  }
  return true;
}

void TskBaseIO::InternalCloseDevice(const THandle& Device, bool Orderly) {
  if (!ReleaseHandle(Device)) return;
  DoNotify(ncPortClosed);
  if (KeepConnection() && !Orderly) StartKeepConnection();
}

// --- Worker threads ------------------------------------------------------------------------

void TskBaseIO::StartThreads() {
  std::vector<std::unique_ptr<platform::TThread>> old;
  {
    std::lock_guard lock(workersMutex_);
    if (fThreadIO) old.push_back(std::move(fThreadIO));
  }
  StopWorkers(std::move(old));
  IsThreadIOTerminated.store(false);
  auto thread = std::make_unique<TskThreadIO>(*this, fPriority);
  std::lock_guard lock(workersMutex_);
  fThreadIO = std::move(thread);
}

void TskBaseIO::StopThreads() {
  if (IsThreadIOTerminated.exchange(true)) return;
  std::vector<std::unique_ptr<platform::TThread>> threads;
  {
    std::lock_guard lock(workersMutex_);
    if (fThreadIO) threads.push_back(std::move(fThreadIO));
  }
  StopWorkers(std::move(threads));
}

void TskBaseIO::StopWorkers(std::vector<std::unique_ptr<platform::TThread>> Threads) {
  {
    std::lock_guard lock(workersMutex_);
    for (auto& t : deferredWorkers_) Threads.push_back(std::move(t));
    deferredWorkers_.clear();
  }
  // All are asked first, so that they end together.
  for (auto& t : Threads) t->Terminate();
  const platform::TThreadID self = platform::CurrentThreadId();
  std::vector<std::unique_ptr<platform::TThread>> own;
  for (auto& t : Threads) {
    if (t->ThreadID() == self)
      own.push_back(std::move(t));
    else
      t->WaitFor();
  }
  Threads.clear();
  if (own.empty()) return;
  std::lock_guard lock(workersMutex_);
  for (auto& t : own) deferredWorkers_.push_back(std::move(t));
}

// --- Notify list ---------------------------------------------------------------------------

void TskBaseIO::NotifyAdd(const TskNotifyEvent& NotifyEvent) {
  skNotifyList.AddUnique(NotifyEvent);
}

void TskBaseIO::NotifyDelete(const TskNotifyEvent& NotifyEvent) {
  skNotifyList.Remove(NotifyEvent);
}

void TskBaseIO::DoNotify(std::int32_t Code) {
  TLinkUse use(*this);
  skNotifyList.Call(this, Code);
}

// --- Links ---------------------------------------------------------------------------------

void TskBaseIO::SetDataProcessor(TskDataProcessorLink* Value) {
  TskDataProcessorLink* old = fDataProcessor.load();
  if (old == Value) return;
  // A processor that is replaced is detached as well, so that it no longer hears this port.
  if (old != nullptr) old->SetDevice(nullptr);
  fDataProcessor.store(Value);
  if (Value != nullptr) {
    Value->SetDevice(this);
    FreeNotification(Value);
  }
}

void TskBaseIO::SetLog(TskCustomLogFile* Value) {
  fLog.store(Value);
  if (Value != nullptr) FreeNotification(Value);
}

void TskBaseIO::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != TOperation::opRemove || AComponent == nullptr) return;
  // Once unlinked, a worker may still be inside a call to it (or to it as a subscriber).
  struct WaitAfterwards {
    const TskBaseIO& io;
    ~WaitAfterwards() { io.WaitForLinkUses(); }
  } wait{*this};
  if (AComponent == fDataProcessor.load()) {
    fDataProcessor.store(nullptr);
    // The processor is being destroyed and may be past its own destructor: rather than
    // calling into it, drop whatever it subscribed here.
    skNotifyList.RemoveObject(AComponent);
  } else if (terminalBinding_.Forget(AComponent)) {
    // Its key filter goes with it.
  } else if (AComponent == fLog.load()) {
    fLog.store(nullptr);
  }
}

void TskBaseIO::Loaded() {
  TComponent::Loaded();
  try {
    SetTerminal(Terminal());
    SetTerminalUsage(TerminalUsage());
    SetActive(fActive.load());
  } catch (...) {
    // Loading has nobody to throw to.
    ReportException();
  }
}

// --- Log and errors ------------------------------------------------------------------------

void TskBaseIO::WriteLog(TDetailLevel Level, const std::string& Text) const {
  TLinkUse use(*this);
  TskCustomLogFile* log = fLog.load();
  if (log == nullptr) return;
  try {
    if (Text.empty())
      log->AddSysInfo();
    else
      log->AddLog(Level, LogPrefix() + Text);
    LogWritten();
  } catch (...) {
    LogFailed(std::current_exception());
  }
}

void TskBaseIO::ReportException(std::exception_ptr E) const noexcept {
  App().ShowException(E);
}

void TskBaseIO::LogFailed(std::exception_ptr E) const noexcept {
  if (!logFailing_.exchange(true, std::memory_order_relaxed)) ReportException(E);
}

void TskBaseIO::DoFatalError(std::uint32_t ErrorCode, std::uint32_t Detail,
                             const std::string& ErrorMsg, bool flShow) {
  bool raise = true;
  fOnFatalError.Call(this, ErrorCode, Detail, ErrorMsg, raise);
  {
    TLinkUse use(*this);
    if (TskCustomLogFile* log = fLog.load()) {
      try {
        log->AddLogFmt(dlSimple, "Fatal Error: %u, %u, %s", ErrorCode, Detail, ErrorMsg);
        LogWritten();
      } catch (...) {
        LogFailed(std::current_exception());
      }
    }
  }
  if (!raise || IsLoading()) return;
  if (flShow)
    App().ShowError(ErrorMsg);
  else
    throw Exception(ErrorMsg);
}

// --- Received data -------------------------------------------------------------------------

bool TskBaseIO::IsReadRequired() const {
  return Terminal() != nullptr || fOnReceived.IsSet() || fDataProcessor.load() != nullptr;
}

bool TskBaseIO::DoReceived(const Byte* Buffer, std::uint32_t Len) {
  // Received by this component's I/O thread: delivered in the main thread.
  TskThreadIO* io = TskThreadIO::Current();
  if (io != nullptr && &io->Owner() == this && UseMainThread()) {
    threadData = Buffer;
    threadDataSize = Len;
    io->Synchronize([this] { DoReceived(threadData, threadDataSize); });
    return false;
  }
  TLinkUse use(*this);
  WriteLog(dlDebug, "Input data length: " + std::to_string(Len));
  TIgnoreTypes r = 0;
  if (TskDataProcessorLink* dp = fDataProcessor.load()) dp->DoProcessing(Buffer, Len, r);
  if (terminalBinding_.Receiver() != nullptr && !InSet(r, itTerminal))
    TerminalWrite(Buffer, static_cast<std::int32_t>(Len));
  fOnReceived.Call(this, Buffer, Len);
  return false;
}

bool TskBaseIO::DoSendComplete() {
  TLinkUse use(*this);
  bool ignore = false;
  if (TskDataProcessorLink* dp = fDataProcessor.load()) dp->DoAfterSendComplete(ignore);
  return ignore;
}

// --- Keep-connection timer -----------------------------------------------------------------

void TskBaseIO::KeepConnectionTimer(TObject*) {
  StopKeepConnection();
  WriteLog(dlDetail, "Try to connect ...");
}

void TskBaseIO::StartKeepConnection() {
  timerKeepConnection.Start();
}

void TskBaseIO::StopKeepConnection() {
  timerKeepConnection.Stop();
}

bool TskBaseIO::KeepConnectionTimerEnabled() const {
  return timerKeepConnection.Enabled();
}

// --- Terminal ------------------------------------------------------------------------------

void TskBaseIO::SetTerminal(TskTerminalControl* Value) {
  if (TskTerminalControl* old = Terminal()) old->SetKeyFilter(nullptr);
  terminalBinding_.Bind(Value, IsDesigning());
  if (Value != nullptr) {
    Value->SetKeyFilter([this](char16_t Ch) { return TerminalKey(Ch); });
    FreeNotification(Value);
  }
  SetTerminalUsage(TerminalUsage());
}

bool TskBaseIO::TerminalKey(char16_t Ch) {
  if (!terminalBinding_.SendsKeys()) return true;
  SendChar(Ch);
  return TerminalEcho();
}

void TskBaseIO::TerminalWrite(const Byte* Buffer, std::int32_t Len) {
  terminalBinding_.Write(Buffer, Len);
}

}  // namespace sk
