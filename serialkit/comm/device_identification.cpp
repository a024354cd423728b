// Asking the device at the other end: the DTR/DSR handshake test and the identification
// string of a serial plug-and-play device. Every wait serves the calling thread's messages,
// so that a window calling these stays responsive.
#include <exception>

#include "serialkit/comm/serial_comm.h"
#include "serialkit/core/fatal_error_codes.h"
#include "serialkit/platform/application.h"
#include "serialkit/platform/serial_device.h"
#include "serialkit/platform/tick.h"

namespace sk {

namespace {

constexpr std::uint32_t kLineWaitMs = 200;
constexpr Byte kBeginMarker = 0x28;  // "("
constexpr Byte kEndMarker = 0x29;    // ")"
constexpr Byte kOtherBeginMarker = 0x08;
constexpr Byte kOtherEndMarker = 0x09;
constexpr char kConnectError[] = "Device Connect Initialization Error";

bool Passed(std::uint32_t Deadline) {
  return static_cast<std::int32_t>(platform::GetTickCount() - Deadline) > 0;
}

// A pause that keeps serving the thread's messages and timers. The clock is read once a
// round: read twice, a tick between the reads made what is left wrap to some 49 days.
void Pause(platform::TApplication& App, std::uint32_t Ms) {
  const std::uint32_t deadline = platform::GetTickCount() + Ms;
  for (;;) {
    const auto left = static_cast<std::int32_t>(deadline - platform::GetTickCount());
    if (left < 0) return;
    App.ProcessMessages(static_cast<std::uint32_t>(left) + 1);
  }
}

// The byte as the character of the same value.
void AppendLatin1(std::string& Text, Byte B) {
  if (B < 0x80) {
    Text.push_back(static_cast<char>(B));
  } else {
    Text.push_back(static_cast<char>(0xC0 | (B >> 6)));
    Text.push_back(static_cast<char>(0x80 | (B & 0x3F)));
  }
}

}  // namespace

bool TskCustomSerialComm::ReadByteWithin(Byte& Value, std::uint32_t Ms) {
  const std::uint32_t deadline = platform::GetTickCount() + Ms;
  for (;;) {
    // Never a blocking read: with a worker also reading, the byte may be gone meanwhile.
    const bool late = Passed(deadline);
    if (ReadMax(&Value, 1) == 1) return true;
    if (late || !IsOpened()) return false;
    App().ProcessMessages(5);
  }
}

void TskCustomSerialComm::InitDeviceConnect() {
  if (!IsOpened()) return;
  ClearDeviceBuffers();
  SetStateDTR(true);
  SetStateRTS(false);
  if (!WaitForSignal(msDSR, kLineWaitMs)) {
    DoFatalError(kFatalDeviceError, 0, kConnectError, false);
    return;
  }
  SetStateRTS(true);
  WriteLog(dlDetail, "The device connection was succesful tested");
}

std::string TskCustomSerialComm::GetPNPDeviceString() {
  const bool wasOpen = Active();
  if (!wasOpen) {
    try {
      SetActive(true);
    } catch (const std::exception&) {
      // The open's own fatal error has been reported; here it only means "no string".
    }
  }
  if (!IsOpened()) return {};

  ClearDeviceBuffers();
  SetStateDTR(true);
  SetStateRTS(false);
  if (!WaitForSignal(msDSR, kLineWaitMs)) {
    // Back to where the caller was before the error is reported: closed if it was closed,
    // else with the lines as the settings have them.
    if (wasOpen)
      WriteDeviceState();
    else
      SetActive(false);
    DoFatalError(kFatalDeviceError, 0, kConnectError, false);
    return {};
  }

  WriteDeviceState();
  const DCB kept = CommCfg.dcb;
  const TTraceStates keptStates = TraceStates();
  auto restore = [&] {
    if (THandle h = Handle()) h->SetCommState(kept);
    SetTraceStates(keptStates);
    SetActive(false);
    if (wasOpen) SetActive(true);
  };

  DCB working = kept;
  working.BaudRate = 1200;
  working.ByteSize = 7;
  working.Parity = NOPARITY;
  SetDcbFlags(working, DcbFlags(working) & ~dcb::fParity);
  working.StopBits = ONESTOPBIT;
  if (THandle h = Handle()) h->SetCommState(working);
  SetTraceStates(0);
  std::string result;
  try {
    result = ReadPNPString();
  } catch (...) {
    // A handler that threw while the lines were toggled: the port is put back all the same.
    try {
      restore();
    } catch (...) {
      // The handler's failure is what the caller gets; the failed restore is not lost either.
      ReportException();
    }
    throw;
  }
  restore();
  return result;
}

std::string TskCustomSerialComm::ReadPNPString() {
  SetStateDTR(false);
  SetStateRTS(false);
  Pause(App(), kLineWaitMs);
  SetStateDTR(true);
  Pause(App(), kLineWaitMs);
  SetStateRTS(true);

  Byte b = 0;
  if (!ReadByteWithin(b, kLineWaitMs)) {
    // A second chance: some devices only answer a second toggle.
    SetStateDTR(false);
    SetStateRTS(false);
    Pause(App(), kLineWaitMs);
    SetStateDTR(true);
    SetStateRTS(true);
    if (!ReadByteWithin(b, kLineWaitMs)) return {};
  }
  Byte end = 0;
  if (b == kBeginMarker)
    end = kEndMarker;
  else if (b == kOtherBeginMarker)
    end = kOtherEndMarker;
  else
    return {};

  std::string result;
  AppendLatin1(result, b);
  do {
    if (!ReadByteWithin(b, kLineWaitMs)) break;
    AppendLatin1(result, b);
  } while (b != end);
  return result;
}

}  // namespace sk
