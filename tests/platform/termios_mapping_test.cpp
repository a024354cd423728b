#include "serialkit/platform/posix/termios_mapping.h"

#include <gtest/gtest.h>

namespace {

using namespace sk;
using sk::platform::posix::ApplyDcb;
using sk::platform::posix::ReadDcb;

DCB Dcb(std::uint8_t size, std::uint8_t parity, std::uint8_t stop, std::uint32_t flags = 0) {
  DCB d;
  d.DCBlength = kDcbLength;
  d.BaudRate = 9600;
  d.ByteSize = size;
  d.Parity = parity;
  d.StopBits = stop;
  d.Flags = flags;
  d.XonChar = 0x11;
  d.XoffChar = 0x13;
  return d;
}

termios Cooked() {
  termios t{};
  t.c_iflag = ICRNL | IXON;
  t.c_oflag = OPOST | ONLCR;
  t.c_lflag = ICANON | ECHO | ISIG;
  t.c_cflag = CS7 | PARENB;
  return t;
}

TEST(TermiosMapping, EightDataBitsTwoStopBitsNoParityIsRawAndLocal) {
  termios t = Cooked();
  ASSERT_TRUE(ApplyDcb(Dcb(8, NOPARITY, TWOSTOPBITS, dcb::fBinary), t));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_NE(t.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(t.c_cflag & (PARENB | CMSPAR), 0u);
  EXPECT_NE(t.c_cflag & (CREAD | CLOCAL), 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_iflag & (ICRNL | IXON), 0u);
}

TEST(TermiosMapping, EveryParityHasItsFlags) {
  struct Case {
    std::uint8_t parity;
    tcflag_t flags;
  } cases[] = {{NOPARITY, 0},
               {ODDPARITY, PARENB | PARODD},
               {EVENPARITY, PARENB},
               {MARKPARITY, PARENB | CMSPAR | PARODD},
               {SPACEPARITY, PARENB | CMSPAR}};
  for (const Case& c : cases) {
    termios t = Cooked();
    ASSERT_TRUE(ApplyDcb(Dcb(8, c.parity, ONESTOPBIT, dcb::fParity), t));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), c.flags) << int(c.parity);
    DCB back = Dcb(5, 0, 0);
    ReadDcb(t, back);
    EXPECT_EQ(back.Parity, c.parity);
    EXPECT_EQ(back.ByteSize, 8);
  }
}

TEST(TermiosMapping, ValuesTheLineCannotHaveAreRefusedAndChangeNothing) {
  for (const DCB& bad : {Dcb(4, NOPARITY, ONESTOPBIT), Dcb(9, NOPARITY, ONESTOPBIT),
                         Dcb(8, 5, ONESTOPBIT), Dcb(8, NOPARITY, 3)}) {
    termios t = Cooked();
    EXPECT_FALSE(ApplyDcb(bad, t));
    EXPECT_EQ(t.c_cflag, Cooked().c_cflag);
    EXPECT_EQ(t.c_lflag, Cooked().c_lflag);
  }
}

TEST(TermiosMapping, OneAndAHalfStopBitsBecomeTwoAndReadBackAsAsked) {
  termios t{};
  ASSERT_TRUE(ApplyDcb(Dcb(8, NOPARITY, ONE5STOPBITS), t));
  EXPECT_NE(t.c_cflag & CSTOPB, 0u);
  DCB back = Dcb(8, NOPARITY, ONE5STOPBITS);
  ReadDcb(t, back);
  EXPECT_EQ(back.StopBits, ONE5STOPBITS);
  back.StopBits = ONESTOPBIT;
  ReadDcb(t, back);
  EXPECT_EQ(back.StopBits, TWOSTOPBITS);
}

TEST(TermiosMapping, FlowControlFollowsTheProtocolFlags) {
  termios hardware{};
  ASSERT_TRUE(ApplyDcb(Dcb(8, NOPARITY, ONESTOPBIT, 0x2015), hardware));
  EXPECT_NE(hardware.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(hardware.c_iflag & (IXON | IXOFF), 0u);

  termios xonxoff{};
  DCB x = Dcb(8, NOPARITY, ONESTOPBIT, 0x1311);
  x.XonChar = 0x21;
  x.XoffChar = 0x23;
  ASSERT_TRUE(ApplyDcb(x, xonxoff));
  EXPECT_EQ(xonxoff.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(xonxoff.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_EQ(xonxoff.c_cc[VSTART], 0x21);
  EXPECT_EQ(xonxoff.c_cc[VSTOP], 0x23);

  DCB back = Dcb(8, NOPARITY, ONESTOPBIT, dcb::fRtsControlHandshake | dcb::fOutxCtsFlow);
  ReadDcb(xonxoff, back);
  EXPECT_EQ(back.Flags & (dcb::fOutX | dcb::fInX), dcb::fOutX | dcb::fInX);
  EXPECT_EQ(back.Flags & dcb::fOutxCtsFlow, 0u);
  EXPECT_EQ(back.Flags & dcb::fRtsControl, dcb::fRtsControlEnable);
}

TEST(TermiosMapping, StandardRatesHaveConstantsAndOthersDoNot) {
  EXPECT_EQ(sk::platform::posix::StandardSpeed(230400), B230400);
  EXPECT_EQ(sk::platform::posix::StandardSpeed(921600), B921600);
  EXPECT_FALSE(sk::platform::posix::StandardSpeed(128000).has_value());
  EXPECT_FALSE(sk::platform::posix::StandardSpeed(0).has_value());
}

}  // namespace
