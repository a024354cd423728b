#pragma once
// The serial-port records of the Win32 communications interface (DCB, COMMTIMEOUTS, COMSTAT,
// COMMPROP, COMMCONFIG) and their named constants, as the library's own plain data on every
// system: the same members, sizes and bit positions as the system's records, which the Windows
// backend converts to and from at its calls into the system (the layout is checked against the
// system's own there). They are a storage format as well (a saved port configuration is a
// COMMCONFIG), so the layout is checked below too.
//
// The DCB and COMSTAT flags, bit fields in the system's records, are one word here, read and
// written through DcbFlags/SetDcbFlags and ComStatFlags with the dcb:: and COMSTAT_ masks.
#include <cstdint>

namespace sk {

struct DCB {
  std::uint32_t DCBlength = 0;
  std::uint32_t BaudRate = 0;
  // The Win32 bit fields fBinary .. fDummy2 as one word; see the dcb:: constants.
  std::uint32_t Flags = 0;
  std::uint16_t wReserved = 0;
  std::uint16_t XonLim = 0;
  std::uint16_t XoffLim = 0;
  std::uint8_t ByteSize = 0;
  std::uint8_t Parity = 0;
  std::uint8_t StopBits = 0;
  char XonChar = 0;
  char XoffChar = 0;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
  std::uint16_t wReserved1 = 0;
};

struct COMMTIMEOUTS {
  std::uint32_t ReadIntervalTimeout = 0;
  std::uint32_t ReadTotalTimeoutMultiplier = 0;
  std::uint32_t ReadTotalTimeoutConstant = 0;
  std::uint32_t WriteTotalTimeoutMultiplier = 0;
  std::uint32_t WriteTotalTimeoutConstant = 0;
};

struct COMSTAT {
  // fCtsHold .. fTxim in bits 0 to 6.
  std::uint32_t Flags = 0;
  std::uint32_t cbInQue = 0;
  std::uint32_t cbOutQue = 0;
};

struct COMMPROP {
  std::uint16_t wPacketLength = 0;
  std::uint16_t wPacketVersion = 0;
  std::uint32_t dwServiceMask = 0;
  std::uint32_t dwReserved1 = 0;
  std::uint32_t dwMaxTxQueue = 0;
  std::uint32_t dwMaxRxQueue = 0;
  std::uint32_t dwMaxBaud = 0;
  std::uint32_t dwProvSubType = 0;
  std::uint32_t dwProvCapabilities = 0;
  std::uint32_t dwSettableParams = 0;
  std::uint32_t dwSettableBaud = 0;
  std::uint16_t wSettableData = 0;
  std::uint16_t wSettableStopParity = 0;
  std::uint32_t dwCurrentTxQueue = 0;
  std::uint32_t dwCurrentRxQueue = 0;
  std::uint32_t dwProvSpec1 = 0;
  std::uint32_t dwProvSpec2 = 0;
  char16_t wcProvChar[1] = {0};
};

struct COMMCONFIG {
  std::uint32_t dwSize = 0;
  std::uint16_t wVersion = 0;
  std::uint16_t wReserved = 0;
  DCB dcb;
  std::uint32_t dwProviderSubType = 0;
  std::uint32_t dwProviderOffset = 0;
  std::uint32_t dwProviderSize = 0;
  char16_t wcProviderData[1] = {0};
};

inline std::uint32_t DcbFlags(const DCB& Dcb) {
  return Dcb.Flags;
}
inline void SetDcbFlags(DCB& Dcb, std::uint32_t Flags) {
  Dcb.Flags = Flags;
}
inline std::uint32_t ComStatFlags(const COMSTAT& Stat) {
  return Stat.Flags;
}
inline void SetComStatFlags(COMSTAT& Stat, std::uint32_t Flags) {
  Stat.Flags = Flags;
}

// The constants have the values of the system's; <windows.h> names them as macros, so where it
// came first they are its macros instead.
#ifndef NOPARITY
// DCB Parity and StopBits values.
inline constexpr std::uint8_t NOPARITY = 0;
inline constexpr std::uint8_t ODDPARITY = 1;
inline constexpr std::uint8_t EVENPARITY = 2;
inline constexpr std::uint8_t MARKPARITY = 3;
inline constexpr std::uint8_t SPACEPARITY = 4;
inline constexpr std::uint8_t ONESTOPBIT = 0;
inline constexpr std::uint8_t ONE5STOPBITS = 1;
inline constexpr std::uint8_t TWOSTOPBITS = 2;

// Event mask (SetCommMask, WaitCommEvent).
inline constexpr std::uint32_t EV_RXCHAR = 0x0001;
inline constexpr std::uint32_t EV_RXFLAG = 0x0002;
inline constexpr std::uint32_t EV_TXEMPTY = 0x0004;
inline constexpr std::uint32_t EV_CTS = 0x0008;
inline constexpr std::uint32_t EV_DSR = 0x0010;
inline constexpr std::uint32_t EV_RLSD = 0x0020;
inline constexpr std::uint32_t EV_BREAK = 0x0040;
inline constexpr std::uint32_t EV_ERR = 0x0080;
inline constexpr std::uint32_t EV_RING = 0x0100;
inline constexpr std::uint32_t EV_PERR = 0x0200;
inline constexpr std::uint32_t EV_RX80FULL = 0x0400;
inline constexpr std::uint32_t EV_EVENT1 = 0x0800;
inline constexpr std::uint32_t EV_EVENT2 = 0x1000;

// Line error flags (ClearCommError).
inline constexpr std::uint32_t CE_RXOVER = 0x0001;
inline constexpr std::uint32_t CE_OVERRUN = 0x0002;
inline constexpr std::uint32_t CE_RXPARITY = 0x0004;
inline constexpr std::uint32_t CE_FRAME = 0x0008;
inline constexpr std::uint32_t CE_BREAK = 0x0010;

// PurgeComm.
inline constexpr std::uint32_t PURGE_TXABORT = 0x0001;
inline constexpr std::uint32_t PURGE_RXABORT = 0x0002;
inline constexpr std::uint32_t PURGE_TXCLEAR = 0x0004;
inline constexpr std::uint32_t PURGE_RXCLEAR = 0x0008;

// EscapeCommFunction.
inline constexpr std::uint32_t SETXOFF = 1;
inline constexpr std::uint32_t SETXON = 2;
inline constexpr std::uint32_t SETRTS = 3;
inline constexpr std::uint32_t CLRRTS = 4;
inline constexpr std::uint32_t SETDTR = 5;
inline constexpr std::uint32_t CLRDTR = 6;
inline constexpr std::uint32_t SETBREAK = 8;
inline constexpr std::uint32_t CLRBREAK = 9;

// GetCommModemStatus.
inline constexpr std::uint32_t MS_CTS_ON = 0x0010;
inline constexpr std::uint32_t MS_DSR_ON = 0x0020;
inline constexpr std::uint32_t MS_RING_ON = 0x0040;
inline constexpr std::uint32_t MS_RLSD_ON = 0x0080;

// COMMPROP values.
inline constexpr std::uint32_t SP_SERIALCOMM = 0x00000001;
inline constexpr std::uint32_t PST_RS232 = 0x00000001;
inline constexpr std::uint32_t PCF_DTRDSR = 0x0001;
inline constexpr std::uint32_t PCF_RTSCTS = 0x0002;
inline constexpr std::uint32_t PCF_RLSD = 0x0004;
inline constexpr std::uint32_t PCF_PARITY_CHECK = 0x0008;
inline constexpr std::uint32_t PCF_XONXOFF = 0x0010;
inline constexpr std::uint32_t PCF_SETXCHAR = 0x0020;
inline constexpr std::uint32_t PCF_TOTALTIMEOUTS = 0x0040;
inline constexpr std::uint32_t PCF_INTTIMEOUTS = 0x0080;
inline constexpr std::uint32_t PCF_SPECIALCHARS = 0x0100;
inline constexpr std::uint32_t PCF_16BITMODE = 0x0200;
inline constexpr std::uint32_t SP_PARITY = 0x0001;
inline constexpr std::uint32_t SP_BAUD = 0x0002;
inline constexpr std::uint32_t SP_DATABITS = 0x0004;
inline constexpr std::uint32_t SP_STOPBITS = 0x0008;
inline constexpr std::uint32_t SP_HANDSHAKING = 0x0010;
inline constexpr std::uint32_t SP_PARITY_CHECK = 0x0020;
inline constexpr std::uint32_t SP_RLSD = 0x0040;
inline constexpr std::uint32_t BAUD_075 = 0x00000001;
inline constexpr std::uint32_t BAUD_110 = 0x00000002;
inline constexpr std::uint32_t BAUD_134_5 = 0x00000004;
inline constexpr std::uint32_t BAUD_150 = 0x00000008;
inline constexpr std::uint32_t BAUD_300 = 0x00000010;
inline constexpr std::uint32_t BAUD_600 = 0x00000020;
inline constexpr std::uint32_t BAUD_1200 = 0x00000040;
inline constexpr std::uint32_t BAUD_1800 = 0x00000080;
inline constexpr std::uint32_t BAUD_2400 = 0x00000100;
inline constexpr std::uint32_t BAUD_4800 = 0x00000200;
inline constexpr std::uint32_t BAUD_7200 = 0x00000400;
inline constexpr std::uint32_t BAUD_9600 = 0x00000800;
inline constexpr std::uint32_t BAUD_14400 = 0x00001000;
inline constexpr std::uint32_t BAUD_19200 = 0x00002000;
inline constexpr std::uint32_t BAUD_38400 = 0x00004000;
inline constexpr std::uint32_t BAUD_56K = 0x00008000;
inline constexpr std::uint32_t BAUD_128K = 0x00010000;
inline constexpr std::uint32_t BAUD_115200 = 0x00020000;
inline constexpr std::uint32_t BAUD_57600 = 0x00040000;
inline constexpr std::uint32_t BAUD_USER = 0x10000000;
inline constexpr std::uint16_t DATABITS_5 = 0x0001;
inline constexpr std::uint16_t DATABITS_6 = 0x0002;
inline constexpr std::uint16_t DATABITS_7 = 0x0004;
inline constexpr std::uint16_t DATABITS_8 = 0x0008;
inline constexpr std::uint16_t STOPBITS_10 = 0x0001;
inline constexpr std::uint16_t STOPBITS_15 = 0x0002;
inline constexpr std::uint16_t STOPBITS_20 = 0x0004;
inline constexpr std::uint16_t PARITY_NONE = 0x0100;
inline constexpr std::uint16_t PARITY_ODD = 0x0200;
inline constexpr std::uint16_t PARITY_EVEN = 0x0400;
inline constexpr std::uint16_t PARITY_MARK = 0x0800;
inline constexpr std::uint16_t PARITY_SPACE = 0x1000;
#endif  // NOPARITY

}  // namespace sk

namespace sk {

static_assert(sizeof(DCB) == 28);
static_assert(sizeof(COMMTIMEOUTS) == 20);
static_assert(sizeof(COMSTAT) == 12);
static_assert(sizeof(COMMPROP) == 64);
static_assert(sizeof(COMMCONFIG) == 52);

// DCB flag word (DcbFlags). The two-bit fields are given as their values in place.
namespace dcb {
inline constexpr std::uint32_t fBinary = 0x0001;
inline constexpr std::uint32_t fParity = 0x0002;
inline constexpr std::uint32_t fOutxCtsFlow = 0x0004;
inline constexpr std::uint32_t fOutxDsrFlow = 0x0008;
inline constexpr std::uint32_t fDtrControl = 0x0030;  // two bits
inline constexpr std::uint32_t fDsrSensitivity = 0x0040;
inline constexpr std::uint32_t fTXContinueOnXoff = 0x0080;
inline constexpr std::uint32_t fOutX = 0x0100;
inline constexpr std::uint32_t fInX = 0x0200;
inline constexpr std::uint32_t fErrorChar = 0x0400;
inline constexpr std::uint32_t fNull = 0x0800;
inline constexpr std::uint32_t fRtsControl = 0x3000;  // two bits
inline constexpr std::uint32_t fAbortOnError = 0x4000;

inline constexpr std::uint32_t fDtrControlDisable = 0x0000;
inline constexpr std::uint32_t fDtrControlEnable = 0x0010;
inline constexpr std::uint32_t fDtrControlHandshake = 0x0020;
inline constexpr std::uint32_t fRtsControlDisable = 0x0000;
inline constexpr std::uint32_t fRtsControlEnable = 0x1000;
inline constexpr std::uint32_t fRtsControlHandshake = 0x2000;
inline constexpr std::uint32_t fRtsControlToggle = 0x3000;
}  // namespace dcb

// COMSTAT flag word.
inline constexpr std::uint32_t COMSTAT_fCtsHold = 0x01;
inline constexpr std::uint32_t COMSTAT_fDsrHold = 0x02;
inline constexpr std::uint32_t COMSTAT_fRlsdHold = 0x04;
inline constexpr std::uint32_t COMSTAT_fXoffHold = 0x08;
inline constexpr std::uint32_t COMSTAT_fXoffSent = 0x10;
inline constexpr std::uint32_t COMSTAT_fEof = 0x20;
inline constexpr std::uint32_t COMSTAT_fTxim = 0x40;

// Sizes the records carry in their own length fields.
inline constexpr std::uint32_t kDcbLength = sizeof(DCB);
inline constexpr std::uint32_t kCommConfigSize = sizeof(COMMCONFIG);

}  // namespace sk
