// The serial records and constants are the system's own on Windows and the library's own
// elsewhere; a saved configuration written on one is read on the other, so both must agree
// on every value and bit position.
#include "serialkit/platform/serial_records.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#include "serialkit/platform/win32/system_records.h"
#endif

namespace sk {
namespace {

struct NamedValue {
  const char* Name;
  std::uint32_t Value;
  std::uint32_t Expected;
};

TEST(SerialRecords, ConstantsHaveTheSystemsValues) {
  const NamedValue table[] = {
      {"NOPARITY", NOPARITY, 0},
      {"EVENPARITY", EVENPARITY, 2},
      {"SPACEPARITY", SPACEPARITY, 4},
      {"ONESTOPBIT", ONESTOPBIT, 0},
      {"TWOSTOPBITS", TWOSTOPBITS, 2},
      {"EV_RXCHAR", EV_RXCHAR, 0x0001},
      {"EV_RXFLAG", EV_RXFLAG, 0x0002},
      {"EV_TXEMPTY", EV_TXEMPTY, 0x0004},
      {"EV_CTS", EV_CTS, 0x0008},
      {"EV_DSR", EV_DSR, 0x0010},
      {"EV_RLSD", EV_RLSD, 0x0020},
      {"EV_BREAK", EV_BREAK, 0x0040},
      {"EV_ERR", EV_ERR, 0x0080},
      {"EV_RING", EV_RING, 0x0100},
      {"EV_RX80FULL", EV_RX80FULL, 0x0400},
      {"CE_RXOVER", CE_RXOVER, 0x0001},
      {"CE_OVERRUN", CE_OVERRUN, 0x0002},
      {"CE_RXPARITY", CE_RXPARITY, 0x0004},
      {"CE_FRAME", CE_FRAME, 0x0008},
      {"CE_BREAK", CE_BREAK, 0x0010},
      {"PURGE_TXABORT", PURGE_TXABORT, 1},
      {"PURGE_RXABORT", PURGE_RXABORT, 2},
      {"PURGE_TXCLEAR", PURGE_TXCLEAR, 4},
      {"PURGE_RXCLEAR", PURGE_RXCLEAR, 8},
      {"SETRTS", SETRTS, 3},
      {"CLRRTS", CLRRTS, 4},
      {"SETDTR", SETDTR, 5},
      {"CLRDTR", CLRDTR, 6},
      {"SETBREAK", SETBREAK, 8},
      {"CLRBREAK", CLRBREAK, 9},
      {"MS_CTS_ON", MS_CTS_ON, 0x10},
      {"MS_DSR_ON", MS_DSR_ON, 0x20},
      {"MS_RING_ON", MS_RING_ON, 0x40},
      {"MS_RLSD_ON", MS_RLSD_ON, 0x80},
      {"BAUD_115200", BAUD_115200, 0x00020000},
      {"BAUD_USER", BAUD_USER, 0x10000000},
      {"PARITY_SPACE", PARITY_SPACE, 0x1000},
      {"PCF_16BITMODE", PCF_16BITMODE, 0x0200},
  };
  for (const auto& c : table) EXPECT_EQ(c.Value, c.Expected) << c.Name;
}

TEST(SerialRecords, LayoutIsTheStoredOne) {
  EXPECT_EQ(offsetof(DCB, BaudRate), 4u);
  EXPECT_EQ(offsetof(DCB, XonLim), 14u);
  EXPECT_EQ(offsetof(DCB, ByteSize), 18u);
  EXPECT_EQ(offsetof(DCB, EvtChar), 25u);
  EXPECT_EQ(offsetof(COMMCONFIG, dcb), 8u);
  EXPECT_EQ(offsetof(COMMCONFIG, dwProviderSubType), 36u);
  EXPECT_EQ(offsetof(COMSTAT, cbInQue), 4u);
  EXPECT_EQ(offsetof(COMMPROP, dwSettableBaud), 36u);
  EXPECT_EQ(kDcbLength, 28u);
  EXPECT_EQ(kCommConfigSize, 52u);
}

TEST(SerialRecords, FlagWordRoundTripsAndLeavesTheNeighboursAlone) {
  DCB d{};
  d.BaudRate = 0x11223344;
  d.wReserved = 0x5566;
  for (std::uint32_t flags : {0x00000000u, 0x00002015u, 0x00004CEAu, 0x00007FFFu}) {
    SetDcbFlags(d, flags);
    EXPECT_EQ(DcbFlags(d), flags);
    EXPECT_EQ(d.BaudRate, 0x11223344u);
    EXPECT_EQ(d.wReserved, 0x5566);
  }
  COMSTAT s{};
  s.cbInQue = 7;
  SetComStatFlags(s, COMSTAT_fCtsHold | COMSTAT_fTxim);
  EXPECT_EQ(ComStatFlags(s), COMSTAT_fCtsHold | COMSTAT_fTxim);
  EXPECT_EQ(s.cbInQue, 7u);
}

#ifdef _WIN32
// The masks address the system's own bit fields.
TEST(SerialRecords, MasksAddressTheSystemsBitFields) {
  struct Field {
    const char* Name;
    void (*Set)(::DCB&);
    std::uint32_t Word;
  };
  const Field table[] = {
      {"fBinary", [](::DCB& d) { d.fBinary = 1; }, dcb::fBinary},
      {"fParity", [](::DCB& d) { d.fParity = 1; }, dcb::fParity},
      {"fOutxCtsFlow", [](::DCB& d) { d.fOutxCtsFlow = 1; }, dcb::fOutxCtsFlow},
      {"fOutxDsrFlow", [](::DCB& d) { d.fOutxDsrFlow = 1; }, dcb::fOutxDsrFlow},
      {"DTR_CONTROL_ENABLE", [](::DCB& d) { d.fDtrControl = DTR_CONTROL_ENABLE; },
       dcb::fDtrControlEnable},
      {"DTR_CONTROL_HANDSHAKE", [](::DCB& d) { d.fDtrControl = DTR_CONTROL_HANDSHAKE; },
       dcb::fDtrControlHandshake},
      {"fDsrSensitivity", [](::DCB& d) { d.fDsrSensitivity = 1; }, dcb::fDsrSensitivity},
      {"fTXContinueOnXoff", [](::DCB& d) { d.fTXContinueOnXoff = 1; }, dcb::fTXContinueOnXoff},
      {"fOutX", [](::DCB& d) { d.fOutX = 1; }, dcb::fOutX},
      {"fInX", [](::DCB& d) { d.fInX = 1; }, dcb::fInX},
      {"fErrorChar", [](::DCB& d) { d.fErrorChar = 1; }, dcb::fErrorChar},
      {"fNull", [](::DCB& d) { d.fNull = 1; }, dcb::fNull},
      {"RTS_CONTROL_ENABLE", [](::DCB& d) { d.fRtsControl = RTS_CONTROL_ENABLE; },
       dcb::fRtsControlEnable},
      {"RTS_CONTROL_HANDSHAKE", [](::DCB& d) { d.fRtsControl = RTS_CONTROL_HANDSHAKE; },
       dcb::fRtsControlHandshake},
      {"RTS_CONTROL_TOGGLE", [](::DCB& d) { d.fRtsControl = RTS_CONTROL_TOGGLE; },
       dcb::fRtsControlToggle},
      {"fAbortOnError", [](::DCB& d) { d.fAbortOnError = 1; }, dcb::fAbortOnError},
  };
  for (const auto& f : table) {
    ::DCB d{};
    f.Set(d);
    EXPECT_EQ(DcbFlags(platform::win32::FromSystem(d)), f.Word) << f.Name;
  }
  ::COMSTAT s{};
  s.fRlsdHold = 1;
  s.fTxim = 1;
  EXPECT_EQ(ComStatFlags(platform::win32::FromSystem(s)), COMSTAT_fRlsdHold | COMSTAT_fTxim);
}
#endif

}  // namespace
}  // namespace sk
