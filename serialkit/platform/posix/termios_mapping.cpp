#include "serialkit/platform/posix/termios_mapping.h"

namespace sk::platform::posix {

namespace {
constexpr tcflag_t kFraming = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
}

bool ApplyDcb(const DCB& Dcb, termios& T) {
  tcflag_t size;
  switch (Dcb.ByteSize) {
    case 5:
      size = CS5;
      break;
    case 6:
      size = CS6;
      break;
    case 7:
      size = CS7;
      break;
    case 8:
      size = CS8;
      break;
    default:
      return false;
  }
  tcflag_t parity;
  switch (Dcb.Parity) {
    case NOPARITY:
      parity = 0;
      break;
    case ODDPARITY:
      parity = PARENB | PARODD;
      break;
    case EVENPARITY:
      parity = PARENB;
      break;
    case MARKPARITY:
      parity = PARENB | CMSPAR | PARODD;
      break;
    case SPACEPARITY:
      parity = PARENB | CMSPAR;
      break;
    default:
      return false;
  }
  tcflag_t stop;
  switch (Dcb.StopBits) {
    case ONESTOPBIT:
      stop = 0;
      break;
    case ONE5STOPBITS:  // termios has no 1.5 stop bits; two is the nearest that still frames
    case TWOSTOPBITS:
      stop = CSTOPB;
      break;
    default:
      return false;
  }
  const std::uint32_t flags = Dcb.Flags;
  termios t = T;
  // Raw: no line editing, echo, signals, translation or output processing.
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                      IXON | IXOFF | IXANY | INPCK | IGNPAR);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~(kFraming | CRTSCTS);
  t.c_cflag |= size | parity | stop | CREAD | CLOCAL;
  if ((flags & dcb::fParity) != 0 && Dcb.Parity != NOPARITY) t.c_iflag |= INPCK;
  if ((flags & dcb::fOutxCtsFlow) != 0 || (flags & dcb::fRtsControl) == dcb::fRtsControlHandshake)
    t.c_cflag |= CRTSCTS;
  if ((flags & dcb::fOutX) != 0) t.c_iflag |= IXON;
  if ((flags & dcb::fInX) != 0) t.c_iflag |= IXOFF;
  t.c_cc[VSTART] = static_cast<cc_t>(Dcb.XonChar);
  t.c_cc[VSTOP] = static_cast<cc_t>(Dcb.XoffChar);
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  T = t;
  return true;
}

void ReadDcb(const termios& T, DCB& Dcb) {
  switch (T.c_cflag & CSIZE) {
    case CS5:
      Dcb.ByteSize = 5;
      break;
    case CS6:
      Dcb.ByteSize = 6;
      break;
    case CS7:
      Dcb.ByteSize = 7;
      break;
    default:
      Dcb.ByteSize = 8;
      break;
  }
  if ((T.c_cflag & PARENB) == 0)
    Dcb.Parity = NOPARITY;
  else if ((T.c_cflag & CMSPAR) != 0)
    Dcb.Parity = (T.c_cflag & PARODD) != 0 ? MARKPARITY : SPACEPARITY;
  else
    Dcb.Parity = (T.c_cflag & PARODD) != 0 ? ODDPARITY : EVENPARITY;
  // Two stop bits read back as two even when one and a half were asked for.
  if ((T.c_cflag & CSTOPB) == 0)
    Dcb.StopBits = ONESTOPBIT;
  else if (Dcb.StopBits != ONE5STOPBITS)
    Dcb.StopBits = TWOSTOPBITS;

  std::uint32_t flags = Dcb.Flags | dcb::fBinary;
  flags &= ~(dcb::fOutX | dcb::fInX | dcb::fParity);
  if ((T.c_iflag & INPCK) != 0) flags |= dcb::fParity;
  if ((T.c_iflag & IXON) != 0) flags |= dcb::fOutX;
  if ((T.c_iflag & IXOFF) != 0) flags |= dcb::fInX;
  if ((T.c_cflag & CRTSCTS) != 0) {
    flags |= dcb::fOutxCtsFlow;
    flags = (flags & ~dcb::fRtsControl) | dcb::fRtsControlHandshake;
  } else {
    flags &= ~dcb::fOutxCtsFlow;
    if ((flags & dcb::fRtsControl) == dcb::fRtsControlHandshake)
      flags = (flags & ~dcb::fRtsControl) | dcb::fRtsControlEnable;
  }
  Dcb.Flags = flags;
  Dcb.XonChar = static_cast<char>(T.c_cc[VSTART]);
  Dcb.XoffChar = static_cast<char>(T.c_cc[VSTOP]);
}

std::optional<speed_t> StandardSpeed(std::uint32_t Baud) {
  static constexpr struct {
    std::uint32_t baud;
    speed_t speed;
  } kRates[] = {{50, B50},           {75, B75},           {110, B110},         {134, B134},
                {150, B150},         {200, B200},         {300, B300},         {600, B600},
                {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
                {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
                {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
                {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
                {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
                {3500000, B3500000}, {4000000, B4000000}};
  for (const auto& r : kRates)
    if (r.baud == Baud) return r.speed;
  return std::nullopt;
}

bool SameFraming(const termios& Wanted, const termios& Actual) {
  return (Wanted.c_cflag & kFraming) == (Actual.c_cflag & kFraming);
}

}  // namespace sk::platform::posix
