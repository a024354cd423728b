#include "serialkit/comm/custom_comm.h"
#include "serialkit/comm/port_waits.h"

#include <algorithm>
#include <cstdio>

#include "serialkit/comm/comm_thread.h"
#include "serialkit/comm/msg_thread.h"
#include "serialkit/core/fatal_error_codes.h"
#include "serialkit/platform/serial_device.h"
#include "serialkit/platform/system_error.h"

namespace sk {

namespace {

// The DCB flags WriteDeviceState keeps: fParity and those the default configuration supplies
// (fOutxDsrFlow, the upper fDtrControl bit, fDsrSensitivity, fTXContinueOnXoff, fErrorChar,
// fNull, fAbortOnError).
constexpr std::uint32_t kKeptFlags = dcb::fParity | dcb::fOutxDsrFlow | dcb::fDtrControlHandshake |
                                     dcb::fDsrSensitivity | dcb::fTXContinueOnXoff |
                                     dcb::fErrorChar | dcb::fNull | dcb::fAbortOnError;
constexpr std::uint32_t kFlagsNone = dcb::fBinary | dcb::fDtrControlEnable | dcb::fRtsControlEnable;
constexpr std::uint32_t kFlagsXonXoff = kFlagsNone | dcb::fOutX | dcb::fInX;
constexpr std::uint32_t kFlagsHardware =
    dcb::fBinary | dcb::fOutxCtsFlow | dcb::fDtrControlEnable | dcb::fRtsControlHandshake;
constexpr std::uint32_t kFlagsRS485 =
    dcb::fBinary | dcb::fDtrControlEnable | dcb::fRtsControlToggle;
static_assert(kKeptFlags == 0x4CEA && kFlagsNone == 0x1011 && kFlagsXonXoff == 0x1311 &&
              kFlagsHardware == 0x2015 && kFlagsRS485 == 0x3011);

// Trace states and the event bits they ask for (and that report them back).
constexpr struct {
  TTraceState state;
  std::uint32_t event;
} kTraceEvents[] = {{tsRxFlag, EV_RXFLAG}, {tsCTS, EV_CTS},           {tsDSR, EV_DSR},
                    {tsRLSD, EV_RLSD},     {tsBreak, EV_BREAK},       {tsErr, EV_ERR},
                    {tsRing, EV_RING},     {tsRx80Full, EV_RX80FULL}, {tsEvent1, EV_EVENT1},
                    {tsEvent2, EV_EVENT2}};

// The system text without what the message table puts at its end.
std::string TrimmedSystemText(std::uint32_t Code) {
  std::string text = platform::SystemErrorText(Code);
  while (!text.empty()) {
    const auto c = static_cast<unsigned char>(text.back());
    if (c > ' ' && c != 0x7F && c != '.') break;
    text.pop_back();
  }
  return text;
}

}  // namespace

TskCustomComm::TskCustomComm(TComponent* AOwner, platform::TApplication& App)
    : TskBaseIO(AOwner, App),
      fIsNotSupportRS485(!platform::DriverTogglesRts()),
      waits_(std::make_unique<TPortWaits>(App)) {
  SetUseMainThread(true);
  fTraceStates.store(0);
  CommCfg.dwSize = kCommConfigSize;
  CommCfg.dcb.DCBlength = kDcbLength;
  fBufferInSize = 8192;
  fBufferOutSize = 8192;
}

TskCustomComm::~TskCustomComm() {
  Shutdown();
}

void TskCustomComm::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  // Subscribers drop their links to this port while it is still whole.
  BeginDestroy();
  SetTerminal(nullptr);
  SetDataProcessor(nullptr);
  SetOnTraceState(nullptr);
  try {
    DoClose();
  } catch (...) {
    // Destruction goes on; the reason is not lost.
    ReportException();
  }
  StopThreads();
}

// --- Settings ------------------------------------------------------------------------------

void TskCustomComm::SetBaudRate(std::uint32_t Value) {
  CommCfg.dcb.BaudRate = Value;
  WriteDeviceState();
}

void TskCustomComm::SetParity(TParity Value) {
  CommCfg.dcb.Parity = static_cast<std::uint8_t>(Value);
  if (Value != pNone)
    SetDcbFlags(CommCfg.dcb, DcbFlags(CommCfg.dcb) | dcb::fParity);
  else
    SetDcbFlags(CommCfg.dcb, DcbFlags(CommCfg.dcb) & ~dcb::fParity);
  WriteDeviceState();
}

void TskCustomComm::SetStopBits(TStopBits Value) {
  CommCfg.dcb.StopBits = static_cast<std::uint8_t>(Value);
  WriteDeviceState();
}

void TskCustomComm::SetByteSize(std::uint8_t Value) {
  CommCfg.dcb.ByteSize = Value >= 4 && Value <= 8 ? Value : 8;
  WriteDeviceState();
}

char16_t TskCustomComm::GetEventChar() const {
  return static_cast<char16_t>(static_cast<unsigned char>(CommCfg.dcb.EvtChar));
}

void TskCustomComm::SetEventChar(char16_t Value) {
  CommCfg.dcb.EvtChar = static_cast<char>(Value & 0xFF);
  WriteDeviceState();
}

void TskCustomComm::SetStreamProtocol(TStreamProtocol Value) {
  fProtocol = Value;
  WriteDeviceState();
}

void TskCustomComm::SetRS485Mode(bool Value) {
  fRS485Mode.store(Value);
  WriteDeviceState();
}

void TskCustomComm::SetTraceStates(TTraceStates Value) {
  fTraceStates.store(Value);
  if (THandle h = Handle()) h->SetCommMask(EventMask());
}

void TskCustomComm::SetBufferInSize(std::uint16_t Value) {
  std::lock_guard lock(bufferSizesMutex_);
  fBufferInSize = Value;
  if (THandle h = Handle()) h->SetupComm(fBufferInSize, fBufferOutSize);
}

void TskCustomComm::SetBufferOutSize(std::uint16_t Value) {
  std::lock_guard lock(bufferSizesMutex_);
  fBufferOutSize = Value;
  if (THandle h = Handle()) h->SetupComm(fBufferInSize, fBufferOutSize);
}

void TskCustomComm::SetTimeoutRead(std::uint32_t Value) {
  COMMTIMEOUTS t = fCommTimeouts;
  t.ReadIntervalTimeout = Value;
  SetTimeouts(t);
}

void TskCustomComm::SetTimeoutWrite(std::uint32_t Value) {
  COMMTIMEOUTS t = fCommTimeouts;
  t.WriteTotalTimeoutConstant = Value;
  SetTimeouts(t);
}

void TskCustomComm::SetTimeouts(const COMMTIMEOUTS& Value) {
  fCommTimeouts = Value;
  if (THandle h = Handle()) h->SetCommTimeouts(fCommTimeouts);
}

void TskCustomComm::SetMonitor(std::atomic<TComponent*>& Field, TComponent* Value) {
  Field.store(Value);
  if (Value != nullptr) FreeNotification(Value);
}

// --- Records -------------------------------------------------------------------------------

void TskCustomComm::WriteDeviceState() {
  DCB& d = CommCfg.dcb;
  d.DCBlength = kDcbLength;
  std::uint32_t flags = DcbFlags(d) & kKeptFlags;
  if (RS485Mode()) {
    flags |= kFlagsRS485;
  } else {
    switch (fProtocol) {
      case spNone:
        flags |= kFlagsNone;
        break;
      case spXonXoff:
        flags |= kFlagsXonXoff;
        break;
      case spHardware:
        flags |= kFlagsHardware;
        break;
    }
  }
  SetDcbFlags(d, flags);
  d.XonLim = 80;
  d.XoffLim = 200;
  d.XonChar = 0x11;
  d.XoffChar = 0x13;
  // A setting the driver refuses leaves the port as it was; the record keeps the new value.
  if (Active())
    if (THandle h = Handle()) h->SetCommState(d);
}

void TskCustomComm::ReadDeviceState() {
  CommCfg.dwSize = kCommConfigSize;
  CommCfg.dcb.DCBlength = kDcbLength;
  if (Active()) {
    if (THandle h = Handle()) {
      h->GetCommConfig(CommCfg);
      h->GetCommState(CommCfg.dcb);
    }
  }
  const std::uint32_t flags = DcbFlags(CommCfg.dcb);
  if ((flags & kFlagsXonXoff) == kFlagsXonXoff)
    fProtocol = spXonXoff;
  else if ((flags & kFlagsHardware) == kFlagsHardware)
    fProtocol = spHardware;
  else
    fProtocol = spNone;
  fRS485Mode.store((flags & kFlagsRS485) == kFlagsRS485);
}

std::uint32_t TskCustomComm::EventMaskOf(TTraceStates States, bool SoftwareRS485) {
  std::uint32_t mask = EV_RXCHAR;
  if (InSet(States, tsTxEmpty) || SoftwareRS485) mask |= EV_TXEMPTY;
  for (const auto& te : kTraceEvents)
    if (InSet(States, te.state)) mask |= te.event;
  return mask;
}

TTraceStates TskCustomComm::TraceStatesOf(std::uint32_t Events) {
  TTraceStates states = 0;
  for (const auto& te : kTraceEvents)
    if ((Events & te.event) != 0) Include(states, te.state);
  return states;
}

std::uint32_t TskCustomComm::EventMask() const {
  return EventMaskOf(TraceStates(), SoftwareRS485()) | waits_->Events();
}

// --- Open and close ------------------------------------------------------------------------

std::string TskCustomComm::LastErrorString() const {
  return lastErrorString_;
}

void TskCustomComm::DoOpen() {
  DoClose();
  fTotalReceived.store(0);
  fTotalSent.store(0);
  TskBaseIO::DoOpen();
  if (!IsOpened()) {
    const std::string name = ComName();
    const std::string text = TrimmedSystemText(openError_);
    lastErrorString_ = "Device \"" + name + "\" Open Error !!!\r" + text;
    DoFatalError(kFatalDeviceError, 0, lastErrorString_, false);
    return;
  }
  AllocReadBuffer();
  WriteLogFmt(dlSimple, "The port %s is opened succesfully", ComName());
  SetupDevice();
  SetTraceStates(TraceStates());
  try {
    StartThreads();
  } catch (...) {
    // A port nobody listens to is no open port: the caller learns why it failed.
    if (THandle h = ExchangeHandle(nullptr)) DeviceClose(h);
    FreeReadBuffer();
    throw;
  }
  DoNotify(ncPortOpened);
}

void TskCustomComm::SetupDevice() {
  THandle h = Handle();
  if (!h) return;
  // Results are not looked at: a port whose driver refuses a setting opens with what it took.
  // The clear makes the driver's error counts of now the baseline of this open.
  std::uint32_t errors = 0;
  COMSTAT stat;
  h->ClearCommError(&errors, &stat);
  {
    std::lock_guard lock(bufferSizesMutex_);
    h->SetupComm(fBufferInSize, fBufferOutSize);
  }
  SetTimeouts(fCommTimeouts);
  WriteDeviceState();
}

void TskCustomComm::DoClose() {
  if (IsOpened()) {
    try {
      InternalClose(true);
      StopThreads();
      WriteLog(dlSimple, "The port is closed succesfully");
    } catch (...) {
      ReportException();
      ReleaseHandle();
    }
  }
  DoTraceState(this, SetOf<TTraceStates>(tsTxEmpty));
}

void TskCustomComm::InternalCloseDevice(const THandle& Device, bool Orderly) {
  if (!Device || Handle() != Device) return;
  if (Orderly && NotYetSend() > 0) ClearDeviceBuffers();
  FreeReadBuffer();
  TskBaseIO::InternalCloseDevice(Device, Orderly);
  // A wait on this port ends with it.
  waits_->WakeAll();
}

void TskCustomComm::KeepConnectionTimer(TObject*) {
  WriteLog(dlDetail, "Try to keep connection ...");
  StopKeepConnection();
}

void TskCustomComm::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == TOperation::opRemove && AComponent != nullptr)
    for (std::atomic<TComponent*>* m : {&fMonitorCTS, &fMonitorDSR, &fMonitorRLSD, &fMonitorRing})
      if (m->load() == AComponent) m->store(nullptr);
  // The base waits for a worker that is still inside a call to it.
  TskBaseIO::Notification(AComponent, Operation);
}

// --- Errors and trace events ---------------------------------------------------------------

void TskCustomComm::DoCommError(std::uint32_t CommCode, std::uint32_t SysError,
                                TComStateFlags State) {
  if (SoftwareRS485()) SetStateRTS(false);
  WriteLogFmt(dlDetail, "Communication Error %d:%d %X", static_cast<std::int32_t>(CommCode),
              static_cast<std::int32_t>(SysError), State);
  bool flush = false;
  fOnCommError.Call(this, CommCode, SysError, State, flush);
  if (flush) ClearDeviceBuffers();
}

void TskCustomComm::DoTraceState(TObject* Sender, TTraceStates States) {
  TLinkUse use(*this);
  const TModemSignals signals = ModemSignals();
  if (TComponent* m = MonitorCTS()) SetMonitorState(m, InSet(signals, msCTS));
  if (TComponent* m = MonitorDSR()) SetMonitorState(m, InSet(signals, msDSR));
  if (TComponent* m = MonitorRLSD()) SetMonitorState(m, InSet(signals, msRLSD));
  // The ring lamp is lit by a ring and never put out by the port.
  if (InSet(States, tsRing))
    if (TComponent* m = MonitorRing()) SetMonitorState(m, true);
  fOnTraceState.Call(Sender, States);
}

void TskCustomComm::SetMonitorState(TComponent* Control, bool Value) {
  if (auto* checked = dynamic_cast<TCheckedControl*>(Control)) checked->SetChecked(Value);
}

}  // namespace sk
