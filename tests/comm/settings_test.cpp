// How the settings become the device's records, seen through the fake device.
#include <gtest/gtest.h>

#include "comm/comm_fixtures.h"

namespace {

using namespace sk;
using sktest::FakeComm;
using Op = platform::FakeSerialDevice::Op;

// The flag bits the port sets itself: binary, parity, CTS flow, DTR enable, XON/XOFF both ways,
// RTS.
constexpr std::uint32_t kDrivenFlags = 0x3317;

TEST(CommSettings, DefaultsGiveHardwareFlowAt19200EightNoneOne) {
  TskComm com;
  const DCB& d = com.CommConfig().dcb;
  EXPECT_EQ(com.CommConfig().dwSize, 52u);
  EXPECT_EQ(d.DCBlength, 28u);
  EXPECT_EQ(d.BaudRate, 19200u);
  EXPECT_EQ(d.ByteSize, 8);
  EXPECT_EQ(d.Parity, NOPARITY);
  EXPECT_EQ(d.StopBits, ONESTOPBIT);
  EXPECT_EQ(DcbFlags(d) & kDrivenFlags, 0x2015u);
  EXPECT_EQ(d.XonLim, 80);
  EXPECT_EQ(d.XoffLim, 200);
  EXPECT_EQ(d.XonChar, 0x11);
  EXPECT_EQ(d.XoffChar, 0x13);
  EXPECT_EQ(com.ComPortNo(), 1);
  EXPECT_EQ(com.ComPort(), cpCOM1);
  EXPECT_EQ(com.BufferInSize(), 8192);
  EXPECT_EQ(com.BufferOutSize(), 8192);
  EXPECT_EQ(com.TraceStates(), 0);
  EXPECT_TRUE(com.UseMainThread());
  EXPECT_FALSE(com.Active());
  EXPECT_EQ(com.EventMask(), EV_RXCHAR);
}

TEST(CommSettings, WhatThePortDoesNotDriveStartsFromTheSystemsDefaultForCom1) {
  COMMCONFIG system{};
  const bool known = platform::GetDefaultCommConfig("COM1", system);
#ifdef _WIN32
  ASSERT_TRUE(known) << platform::SystemErrorText(platform::LastError());
#else
  EXPECT_FALSE(known);
#endif
  TskComm com;
  const DCB& d = com.CommConfig().dcb;
  EXPECT_EQ(DcbFlags(d) & ~kDrivenFlags, known ? DcbFlags(system.dcb) & ~kDrivenFlags : 0u);
  EXPECT_EQ(d.ErrorChar, known ? system.dcb.ErrorChar : 0);
  EXPECT_EQ(d.EofChar, known ? system.dcb.EofChar : 0);
  EXPECT_EQ(com.CommConfig().dwSize, 52u);
  EXPECT_EQ(d.DCBlength, 28u);
}

TEST(CommSettings, ByteSizeOutsideFourToEightBecomesEight) {
  TskComm com;
  com.SetByteSize(3);
  EXPECT_EQ(com.ByteSize(), 8);
  com.SetByteSize(4);
  EXPECT_EQ(com.ByteSize(), 4);
  com.SetByteSize(9);
  EXPECT_EQ(com.ByteSize(), 8);
}

TEST(CommSettings, ParityValueAndParityFlagGoTogether) {
  TskComm com;
  com.SetParity(pMark);
  EXPECT_EQ(com.CommConfig().dcb.Parity, 3);
  EXPECT_EQ(DcbFlags(com.CommConfig().dcb) & dcb::fParity, dcb::fParity);
  com.SetParity(pNone);
  EXPECT_EQ(com.CommConfig().dcb.Parity, 0);
  EXPECT_EQ(DcbFlags(com.CommConfig().dcb) & dcb::fParity, 0u);
}

TEST(CommSettings, ProtocolAndRS485FlagsReplaceTheDrivenBitsOnly) {
  FakeComm com;
  // Flags of a default configuration: fAbortOnError and fOutxDsrFlow are kept, fNull too;
  // bits 15 and up are not.
  SetDcbFlags(com.CommCfg.dcb, dcb::fAbortOnError | dcb::fOutxDsrFlow | dcb::fNull | 0x00010000 |
                                   dcb::fOutX | dcb::fOutxCtsFlow);
  com.SetStreamProtocol(spXonXoff);
  const std::uint32_t kept = dcb::fAbortOnError | dcb::fOutxDsrFlow | dcb::fNull;
  EXPECT_EQ(DcbFlags(com.CommConfig().dcb), kept | 0x1311u);
  com.SetStreamProtocol(spNone);
  EXPECT_EQ(DcbFlags(com.CommConfig().dcb), kept | 0x1011u);
  com.SetRS485Mode(true);
  EXPECT_EQ(DcbFlags(com.CommConfig().dcb), kept | 0x3011u);
  com.SetStreamProtocol(spHardware);
  EXPECT_EQ(DcbFlags(com.CommConfig().dcb), kept | 0x3011u);
  com.SetRS485Mode(false);
  EXPECT_EQ(DcbFlags(com.CommConfig().dcb), kept | 0x2015u);

  com.SetActive(true);
  EXPECT_EQ(DcbFlags(com.Last()->State()), kept | 0x2015u);  // the default's flags reach the port
}

TEST(CommSettings, EventMaskFollowsTheTraceStates) {
  struct Case {
    TTraceStates states;
    std::uint32_t mask;
  } cases[] = {
      {0, 0x0001},
      {SetOf<TTraceStates>(tsRxChar), 0x0001},
      {SetOf<TTraceStates>(tsRx80Full), 0x0401},
      {SetOf<TTraceStates>(tsTxEmpty), 0x0005},
      {SetOf<TTraceStates>(tsRxFlag, tsCTS, tsDSR, tsRLSD), 0x003B},
      {SetOf<TTraceStates>(tsBreak, tsErr, tsRing, tsEvent1, tsEvent2), 0x19C1},
  };
  FakeComm com;
  com.SetActive(true);
  for (const Case& c : cases) {
    com.SetTraceStates(c.states);
    EXPECT_EQ(com.EventMask(), c.mask);
    EXPECT_EQ(com.Last()->Mask(), c.mask);  // written to the open port at once
  }
  EXPECT_EQ(TskCustomComm::EventMaskOf(0, true), 0x0005u);  // software direction control
}

TEST(CommSettings, ReportedEventsMapBackToTraceStates) {
  EXPECT_EQ(TskCustomComm::TraceStatesOf(EV_RXCHAR | EV_TXEMPTY), 0);
  EXPECT_EQ(TskCustomComm::TraceStatesOf(EV_RX80FULL), SetOf<TTraceStates>(tsRx80Full));
  EXPECT_EQ(TskCustomComm::TraceStatesOf(EV_RX80FULL), 1 << 9);
  EXPECT_EQ(TskCustomComm::TraceStatesOf(EV_EVENT1 | EV_EVENT2), (1 << 10) | (1 << 11));
  EXPECT_EQ(TskCustomComm::TraceStatesOf(EV_CTS | EV_RING | EV_RXFLAG),
            SetOf<TTraceStates>(tsCTS, tsRing, tsRxFlag));
}

TEST(CommSettings, ComPortAndComPortNoMapOntoEachOther) {
  TskComm com;
  com.SetComPortNo(12);
  EXPECT_EQ(com.ComPort(), cpCOMxx);
  com.SetComPort(cpCOM5);
  EXPECT_EQ(com.ComPortNo(), 5);
  EXPECT_EQ(com.ComPort(), cpCOM5);
  com.SetComPort(cpCOMxx);
  EXPECT_EQ(com.ComPortNo(), 5);
  EXPECT_EQ(com.ComName(), "COM5");
}

TEST(CommSettings, EventCharacterKeepsItsLowEightBits) {
  TskComm com;
  com.SetEventChar(u'\u01A5');
  EXPECT_EQ(static_cast<std::uint8_t>(com.CommConfig().dcb.EvtChar), 0xA5);
  EXPECT_EQ(com.EventChar(), u'\u00A5');
}

TEST(CommSettings, ChangesOnAnOpenPortAreWrittenAtOnceWithoutReopening) {
  FakeComm com;
  com.SetActive(true);
  auto fake = com.Last();
  const int stateCalls = fake->Calls(Op::SetCommState);
  com.SetBaudRate(57600);
  EXPECT_EQ(fake->Calls(Op::SetCommState), stateCalls + 1);
  EXPECT_EQ(fake->State().BaudRate, 57600u);
  EXPECT_EQ(com.Last(), fake);
  EXPECT_TRUE(com.Active());

  com.SetBufferInSize(16384);
  EXPECT_EQ(fake->InQueue(), 16384u);
  EXPECT_EQ(fake->OutQueue(), 8192u);
  com.SetTimeoutRead(30);
  com.SetTimeoutWrite(500);
  EXPECT_EQ(fake->Timeouts().ReadIntervalTimeout, 30u);
  EXPECT_EQ(fake->Timeouts().WriteTotalTimeoutConstant, 500u);
  EXPECT_EQ(fake->Timeouts().ReadTotalTimeoutConstant, 0u);
}

TEST(CommSettings, ChangesOnAClosedPortWaitForTheNextOpen) {
  FakeComm com;
  com.SetBaudRate(230400);
  com.SetTimeoutWrite(40);
  EXPECT_EQ(com.Last(), nullptr);  // nothing was opened for them
  com.SetActive(true);
  EXPECT_EQ(com.Last()->State().BaudRate, 230400u);
  EXPECT_EQ(com.Last()->Timeouts().WriteTotalTimeoutConstant, 40u);
}

TEST(CommSettings, ASettingTheDriverRefusesStaysInTheRecordButNotOnThePort) {
  FakeComm com;
  com.SetActive(true);
  com.Last()->FailOperation(Op::SetCommState, 22);
  com.SetBaudRate(1234567);
  EXPECT_EQ(com.BaudRate(), 1234567u);
  EXPECT_EQ(com.Last()->State().BaudRate, 19200u);
  EXPECT_TRUE(com.Active());  // no error reaches anybody
}

TEST(CommSettings, TheLoadersSettingsGiveTheRecordsItsDeviceExpects) {
  FakeComm com;
  com.SetBaudRate(128000);
  com.SetParity(pNone);
  com.SetStopBits(sbTwo);
  com.SetByteSize(8);
  com.SetComPortNo(3);
  com.SetTraceStates(SetOf<TTraceStates>(tsTxEmpty));
  com.SetEventChar(0);
  com.SetStreamProtocol(spNone);
  com.SetUseMainThread(false);
  com.SetBaudRate(921600);
  com.SetActive(true);
  ASSERT_TRUE(com.Last());
  EXPECT_EQ(com.openedNames, std::vector<std::string>{"COM3"});
  const DCB d = com.Last()->State();
  EXPECT_EQ(d.BaudRate, 921600u);
  EXPECT_EQ(DcbFlags(d), 0x1011u);
  EXPECT_EQ(d.ByteSize, 8);
  EXPECT_EQ(d.Parity, 0);
  EXPECT_EQ(d.StopBits, 2);
  EXPECT_EQ(d.XonLim, 80);
  EXPECT_EQ(d.XoffLim, 200);
  EXPECT_EQ(d.EvtChar, 0);
  EXPECT_EQ(com.Last()->Mask(), 0x0005u);
  EXPECT_EQ(com.Last()->InQueue(), 8192u);
  EXPECT_EQ(com.Last()->OutQueue(), 8192u);
  const COMMTIMEOUTS t = com.Last()->Timeouts();
  EXPECT_EQ(t.ReadIntervalTimeout + t.ReadTotalTimeoutMultiplier + t.ReadTotalTimeoutConstant +
                t.WriteTotalTimeoutMultiplier + t.WriteTotalTimeoutConstant,
            0u);
  // The port is set up in this order before anybody hears it has opened.
  const auto j = com.Last()->Journal();
  ASSERT_GE(j.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(j.begin(), j.begin() + 5),
            (std::vector<std::string>{"ClearCommError", "SetupComm 8192 8192", "SetCommTimeouts",
                                      "SetCommState", "SetCommMask 0x5"}));
}

TEST(CommSettings, ReadingTheStateBackDerivesProtocolAndRS485) {
  FakeComm com;
  com.SetStreamProtocol(spXonXoff);
  com.SetActive(true);
  DCB d = com.Last()->State();
  SetDcbFlags(d, 0x3011);
  com.Last()->SetCommState(d);
  com.ReadDeviceState();
  EXPECT_TRUE(com.RS485Mode());
  EXPECT_EQ(com.StreamProtocol(), spNone);
  SetDcbFlags(d, 0x2015);
  com.Last()->SetCommState(d);
  com.ReadDeviceState();
  EXPECT_FALSE(com.RS485Mode());
  EXPECT_EQ(com.StreamProtocol(), spHardware);
}

}  // namespace
