// The library's serial records against the system's: sizes, member offsets and the flag words'
// bit positions. A saved configuration and every record the backend hands to the system are
// copied byte for byte, so any difference is a build failure here.
#include "serialkit/platform/win32/system_records.h"

#include <cstddef>

namespace sk::platform::win32 {
namespace {

#define SK_SAME_SIZE(T) static_assert(sizeof(sk::T) == sizeof(::T), #T)
#define SK_SAME_OFFSET(T, M) static_assert(offsetof(sk::T, M) == offsetof(::T, M), #T "::" #M)

SK_SAME_SIZE(DCB);
SK_SAME_SIZE(COMMTIMEOUTS);
SK_SAME_SIZE(COMSTAT);
SK_SAME_SIZE(COMMPROP);
SK_SAME_SIZE(COMMCONFIG);

SK_SAME_OFFSET(DCB, DCBlength);
SK_SAME_OFFSET(DCB, BaudRate);
SK_SAME_OFFSET(DCB, wReserved);
SK_SAME_OFFSET(DCB, XonLim);
SK_SAME_OFFSET(DCB, XoffLim);
SK_SAME_OFFSET(DCB, ByteSize);
SK_SAME_OFFSET(DCB, Parity);
SK_SAME_OFFSET(DCB, StopBits);
SK_SAME_OFFSET(DCB, XonChar);
SK_SAME_OFFSET(DCB, XoffChar);
SK_SAME_OFFSET(DCB, ErrorChar);
SK_SAME_OFFSET(DCB, EofChar);
SK_SAME_OFFSET(DCB, EvtChar);
SK_SAME_OFFSET(DCB, wReserved1);
// The flag word fills the gap between BaudRate and wReserved.
static_assert(offsetof(sk::DCB, Flags) == offsetof(::DCB, BaudRate) + sizeof(::DCB::BaudRate));
static_assert(offsetof(sk::DCB, Flags) + sizeof(sk::DCB::Flags) == offsetof(::DCB, wReserved));

SK_SAME_OFFSET(COMMTIMEOUTS, ReadIntervalTimeout);
SK_SAME_OFFSET(COMMTIMEOUTS, ReadTotalTimeoutMultiplier);
SK_SAME_OFFSET(COMMTIMEOUTS, ReadTotalTimeoutConstant);
SK_SAME_OFFSET(COMMTIMEOUTS, WriteTotalTimeoutMultiplier);
SK_SAME_OFFSET(COMMTIMEOUTS, WriteTotalTimeoutConstant);

SK_SAME_OFFSET(COMSTAT, cbInQue);
SK_SAME_OFFSET(COMSTAT, cbOutQue);
static_assert(offsetof(sk::COMSTAT, Flags) == 0 && offsetof(::COMSTAT, cbInQue) == 4);

SK_SAME_OFFSET(COMMPROP, wPacketLength);
SK_SAME_OFFSET(COMMPROP, wPacketVersion);
SK_SAME_OFFSET(COMMPROP, dwServiceMask);
SK_SAME_OFFSET(COMMPROP, dwReserved1);
SK_SAME_OFFSET(COMMPROP, dwMaxTxQueue);
SK_SAME_OFFSET(COMMPROP, dwMaxRxQueue);
SK_SAME_OFFSET(COMMPROP, dwMaxBaud);
SK_SAME_OFFSET(COMMPROP, dwProvSubType);
SK_SAME_OFFSET(COMMPROP, dwProvCapabilities);
SK_SAME_OFFSET(COMMPROP, dwSettableParams);
SK_SAME_OFFSET(COMMPROP, dwSettableBaud);
SK_SAME_OFFSET(COMMPROP, wSettableData);
SK_SAME_OFFSET(COMMPROP, wSettableStopParity);
SK_SAME_OFFSET(COMMPROP, dwCurrentTxQueue);
SK_SAME_OFFSET(COMMPROP, dwCurrentRxQueue);
SK_SAME_OFFSET(COMMPROP, dwProvSpec1);
SK_SAME_OFFSET(COMMPROP, dwProvSpec2);
SK_SAME_OFFSET(COMMPROP, wcProvChar);
static_assert(sizeof(sk::COMMPROP::wcProvChar) == sizeof(::COMMPROP::wcProvChar));

SK_SAME_OFFSET(COMMCONFIG, dwSize);
SK_SAME_OFFSET(COMMCONFIG, wVersion);
SK_SAME_OFFSET(COMMCONFIG, wReserved);
SK_SAME_OFFSET(COMMCONFIG, dcb);
SK_SAME_OFFSET(COMMCONFIG, dwProviderSubType);
SK_SAME_OFFSET(COMMCONFIG, dwProviderOffset);
SK_SAME_OFFSET(COMMCONFIG, dwProviderSize);
SK_SAME_OFFSET(COMMCONFIG, wcProviderData);

#undef SK_SAME_SIZE
#undef SK_SAME_OFFSET

// Each of the system's bit fields, set alone, is the library's mask in the flag word.
constexpr std::uint32_t DcbWord(void (*Set)(::DCB&)) {
  ::DCB d{};
  Set(d);
  return std::bit_cast<sk::DCB>(d).Flags;
}
static_assert(DcbWord([](::DCB& d) { d.fBinary = 1; }) == dcb::fBinary);
static_assert(DcbWord([](::DCB& d) { d.fParity = 1; }) == dcb::fParity);
static_assert(DcbWord([](::DCB& d) { d.fOutxCtsFlow = 1; }) == dcb::fOutxCtsFlow);
static_assert(DcbWord([](::DCB& d) { d.fOutxDsrFlow = 1; }) == dcb::fOutxDsrFlow);
static_assert(DcbWord([](::DCB& d) { d.fDtrControl = 3; }) == dcb::fDtrControl);
static_assert(DcbWord([](::DCB& d) { d.fDtrControl = DTR_CONTROL_ENABLE; }) ==
              dcb::fDtrControlEnable);
static_assert(DcbWord([](::DCB& d) { d.fDtrControl = DTR_CONTROL_HANDSHAKE; }) ==
              dcb::fDtrControlHandshake);
static_assert(DcbWord([](::DCB& d) { d.fDsrSensitivity = 1; }) == dcb::fDsrSensitivity);
static_assert(DcbWord([](::DCB& d) { d.fTXContinueOnXoff = 1; }) == dcb::fTXContinueOnXoff);
static_assert(DcbWord([](::DCB& d) { d.fOutX = 1; }) == dcb::fOutX);
static_assert(DcbWord([](::DCB& d) { d.fInX = 1; }) == dcb::fInX);
static_assert(DcbWord([](::DCB& d) { d.fErrorChar = 1; }) == dcb::fErrorChar);
static_assert(DcbWord([](::DCB& d) { d.fNull = 1; }) == dcb::fNull);
static_assert(DcbWord([](::DCB& d) { d.fRtsControl = 3; }) == dcb::fRtsControl);
static_assert(DcbWord([](::DCB& d) { d.fRtsControl = RTS_CONTROL_ENABLE; }) ==
              dcb::fRtsControlEnable);
static_assert(DcbWord([](::DCB& d) { d.fRtsControl = RTS_CONTROL_HANDSHAKE; }) ==
              dcb::fRtsControlHandshake);
static_assert(DcbWord([](::DCB& d) { d.fRtsControl = RTS_CONTROL_TOGGLE; }) ==
              dcb::fRtsControlToggle);
static_assert(DcbWord([](::DCB& d) { d.fAbortOnError = 1; }) == dcb::fAbortOnError);

constexpr std::uint32_t ComStatWord(void (*Set)(::COMSTAT&)) {
  ::COMSTAT s{};
  Set(s);
  return std::bit_cast<sk::COMSTAT>(s).Flags;
}
static_assert(ComStatWord([](::COMSTAT& s) { s.fCtsHold = 1; }) == COMSTAT_fCtsHold);
static_assert(ComStatWord([](::COMSTAT& s) { s.fDsrHold = 1; }) == COMSTAT_fDsrHold);
static_assert(ComStatWord([](::COMSTAT& s) { s.fRlsdHold = 1; }) == COMSTAT_fRlsdHold);
static_assert(ComStatWord([](::COMSTAT& s) { s.fXoffHold = 1; }) == COMSTAT_fXoffHold);
static_assert(ComStatWord([](::COMSTAT& s) { s.fXoffSent = 1; }) == COMSTAT_fXoffSent);
static_assert(ComStatWord([](::COMSTAT& s) { s.fEof = 1; }) == COMSTAT_fEof);
static_assert(ComStatWord([](::COMSTAT& s) { s.fTxim = 1; }) == COMSTAT_fTxim);

// The lengths the records carry are the system's.
static_assert(kDcbLength == sizeof(::DCB));
static_assert(kCommConfigSize == sizeof(::COMMCONFIG));

}  // namespace
}  // namespace sk::platform::win32
