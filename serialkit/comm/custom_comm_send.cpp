// The send path, purging, and line control of the serial port.
#include <cstdint>

#include "serialkit/comm/custom_comm.h"
#include "serialkit/platform/application.h"
#include "serialkit/platform/serial_device.h"
#include "serialkit/platform/system_error.h"
#include "serialkit/platform/tick.h"

namespace sk {

void TskCustomComm::SendFailed() {
  DoCommError(0, platform::LastError(), 0);
}

void TskCustomComm::SendChar(char16_t Ch) {
  THandle h = Handle();
  if (!h) return;
  const Byte b = static_cast<Byte>(Ch & 0xFF);
  WriteLogFmt(dlDebug, "Try to send char %2Xh ...", b);
  if (SoftwareRS485()) SetStateRTS(true);
  std::uint32_t written = 0;
  if (!h->Write(&b, 1, written)) return SendFailed();
  fTotalSent.fetch_add(1, std::memory_order_relaxed);
}

void TskCustomComm::SendAheadChar(char16_t Ch) {
  THandle h = Handle();
  if (!h) return;
  if (SoftwareRS485()) SetStateRTS(true);
  if (!h->TransmitCommChar(static_cast<std::uint8_t>(Ch & 0xFF))) return SendFailed();
  fTotalSent.fetch_add(1, std::memory_order_relaxed);
}

void TskCustomComm::SendString(const ByteString& S) {
  THandle h = Handle();
  if (!h || S.empty()) return;
  WriteLogFmt(dlDebug, "Try to send string %s ...", ToText(S));
  if (SoftwareRS485()) SetStateRTS(true);
  std::uint32_t written = 0;
  if (!h->Write(S.data(), static_cast<std::uint32_t>(S.size()), written)) return SendFailed();
  fTotalSent.fetch_add(static_cast<std::uint32_t>(S.size()), std::memory_order_relaxed);
}

void TskCustomComm::SendData(const Byte* Buff, std::uint32_t N) {
  THandle h = Handle();
  if (!h) return;
  WriteLogFmt(dlDebug, "Try to send the data with %d length ...", static_cast<std::int32_t>(N));
  if (SoftwareRS485()) SetStateRTS(true);
  // The device takes the bytes, or a copy of them, before it returns.
  if (!h->WriteAsync(Buff, N)) return SendFailed();
  fTotalSent.fetch_add(N, std::memory_order_relaxed);
  WriteLog(dlDebug, "... the data transmittion is OK!");
}

void TskCustomComm::ClearDeviceInput() {
  if (THandle h = Handle()) h->PurgeComm(PURGE_RXABORT | PURGE_RXCLEAR);
}

void TskCustomComm::ClearDeviceOutput() {
  THandle h = Handle();
  if (!h) return;
  h->PurgeComm(PURGE_TXABORT | PURGE_TXCLEAR);
  if (SoftwareRS485()) SetStateRTS(false);
}

void TskCustomComm::ClearDeviceBuffers() {
  THandle h = Handle();
  if (!h) return;
  h->PurgeComm(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  CancelDeviceIo(h);
  if (SoftwareRS485()) SetStateRTS(false);
}

bool TskCustomComm::CancelDeviceIo(const THandle& Handle) {
  return Handle && Handle->CancelIo();
}

void TskCustomComm::FlushOutputBuffer() {
  if (THandle h = Handle()) h->FlushFileBuffers();
}

std::uint32_t TskCustomComm::NotYetSend() const {
  THandle h = Handle();
  std::uint32_t errors = 0;
  COMSTAT stat;
  return h && h->ClearCommError(&errors, &stat) ? stat.cbOutQue : 0;
}

std::uint32_t TskCustomComm::ReadyForRead() const {
  THandle h = Handle();
  std::uint32_t errors = 0;
  COMSTAT stat;
  return h && h->ClearCommError(&errors, &stat) ? stat.cbInQue : 0;
}

const COMMPROP* TskCustomComm::CommProp() {
  if (THandle h = Handle()) h->GetCommProperties(ComProp);
  return &ComProp;
}

TModemSignals TskCustomComm::ModemSignals() const {
  THandle h = Handle();
  std::uint32_t status = 0;
  if (!h || !h->GetCommModemStatus(status)) return 0;
  TModemSignals s = 0;
  if ((status & MS_CTS_ON) != 0) Include(s, msCTS);
  if ((status & MS_DSR_ON) != 0) Include(s, msDSR);
  if ((status & MS_RING_ON) != 0) Include(s, msRing);
  if ((status & MS_RLSD_ON) != 0) Include(s, msRLSD);
  return s;
}

void TskCustomComm::SetStateDTR(bool State) {
  THandle h = Handle();
  if (!h) return;
  h->EscapeCommFunction(State ? SETDTR : CLRDTR);
  DoTraceState(this, SetOf<TTraceStates>(tsDSR));
}

void TskCustomComm::SetStateRTS(bool State) {
  THandle h = Handle();
  if (!h) return;
  h->EscapeCommFunction(State ? SETRTS : CLRRTS);
  DoTraceState(this, SetOf<TTraceStates>(tsCTS));
}

void TskCustomComm::SetStateX(bool State) {
  if (THandle h = Handle()) h->EscapeCommFunction(State ? SETXON : SETXOFF);
}

void TskCustomComm::SetStateBreak(bool State) {
  if (THandle h = Handle()) h->EscapeCommFunction(State ? SETBREAK : CLRBREAK);
}

}  // namespace sk
