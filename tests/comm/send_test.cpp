// The send path, purging and line control.
#include <gtest/gtest.h>

#include <cerrno>
#include <future>
#include <thread>

#include "comm/comm_fixtures.h"
#include "serialkit/platform/serial_device.h"
#include "serialkit/platform/tick.h"

namespace {

using namespace sk;
using sktest::Bytes;
using sktest::FakeComm;
using sktest::RecordingLog;
using Op = platform::FakeSerialDevice::Op;

class PortSend : public sktest::PtyPorts {};

TEST_F(PortSend, FramesOfCharsAndDataArriveExactlyAndInOrderWhileTheBufferIsReused) {
  auto& pty = AddPort(51);
  TskComm com;
  com.SetComPortNo(51);
  com.SetStreamProtocol(spNone);
  com.SetActive(true);
  // Like the loader: a header one byte at a time, then a block from a buffer that is
  // refilled as soon as SendData returns. Far more than the terminal buffers.
  constexpr int kFrames = 80;
  constexpr std::size_t kBlock = 1024;
  Bytes expected;
  auto reader =
      std::async(std::launch::async, [&] { return pty.Read(kFrames * (kBlock + 4), 10000); });
  Bytes block(kBlock);
  for (int f = 0; f < kFrames; ++f) {
    for (char16_t c : {u'\u00A7', char16_t(0x100 + f), u'\u0004', u'\u0000'}) {
      com.SendChar(c);
      expected.push_back(static_cast<std::uint8_t>(c & 0xFF));
    }
    for (std::size_t i = 0; i < kBlock; ++i) block[i] = static_cast<std::uint8_t>(f + i * 3);
    com.SendData(block.data(), kBlock);
    expected.insert(expected.end(), block.begin(), block.end());
    std::fill(block.begin(), block.end(), 0xCC);
  }
  EXPECT_EQ(com.TotalSent(), kFrames * (kBlock + 4));
  EXPECT_EQ(reader.get(), expected);
}

TEST_F(PortSend, ClearingInputDiscardsWhatHasNotBeenRead) {
  auto& pty = AddPort(52);
  TskComm com;
  com.SetComPortNo(52);
  com.SetActive(true);
  ASSERT_TRUE(pty.Write({'o', 'l', 'd'}));
  sktest::Eventually([&] { return com.ReadyForRead() >= 3; });
  ASSERT_EQ(com.ReadyForRead(), 3u);
  com.ClearDeviceInput();
  EXPECT_EQ(com.ReadyForRead(), 0u);
  ASSERT_TRUE(pty.Write({'n', 'e', 'w', '!'}));
  Bytes got(4);
  std::uint32_t n = 0;
  ASSERT_TRUE(com.Handle()->Read(got.data(), 4, n));
  EXPECT_EQ(got, (Bytes{'n', 'e', 'w', '!'}));
}

TEST_F(PortSend, SendsOnAClosedPortDoNothingAtAll) {
  int errors = 0;
  TskComm com;
  RecordingLog log;
  com.SetLog(&log);
  com.SetOnCommError(TOnCommErrorEvent::Bind(
      &errors, [&](TObject*, std::uint32_t, std::uint32_t, TComStateFlags, bool&) { ++errors; }));
  const Bytes data{1, 2, 3};
  com.SendChar('a');
  com.SendAheadChar('b');
  com.SendString({'c'});
  com.SendData(data.data(), 3);
  com.ClearDeviceBuffers();
  com.FlushOutputBuffer();
  com.SetStateBreak(true);
  EXPECT_EQ(com.TotalSent(), 0u);
  EXPECT_EQ(com.NotYetSend(), 0u);
  EXPECT_EQ(com.ReadyForRead(), 0u);
  EXPECT_EQ(com.ModemSignals(), 0);
  EXPECT_FALSE(com.WaitForSignal(msCTS, 1000));
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_EQ(errors, 0);
}

// --- On the fake ---------------------------------------------------------------------------

TEST(PortSendFake, EachSendLogsWhatItSendsAndCountsIt) {
  FakeComm com;
  RecordingLog log;
  com.SetLog(&log);
  com.SetActive(true);
  log.Clear();
  com.SendChar(u'\u01A5');
  com.SendString({});
  com.SendString({'h', 'i'});
  const Bytes data{9, 8, 7};
  com.SendData(data.data(), 3);
  com.SendData(data.data(), 0);
  com.SendAheadChar('!');
  EXPECT_EQ(com.Last()->Written(), (Bytes{0xA5, 'h', 'i', 9, 8, 7, '!'}));
  EXPECT_EQ(com.TotalSent(), 7u);
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                             "2 skComm: Try to send char A5h ...",
                             "2 skComm: Try to send string hi ...",
                             "2 skComm: Try to send the data with 3 length ...",
                             "2 skComm: ... the data transmittion is OK!",
                             "2 skComm: Try to send the data with 0 length ...",
                             "2 skComm: ... the data transmittion is OK!",
                         }));
}

TEST(PortSendFake, AFailedWaitedWriteReportsItsErrorCodeAndCountsNothing) {
  std::vector<std::uint32_t> reported;
  FakeComm com;
  RecordingLog log;
  com.SetLog(&log);
  com.SetActive(true);
  com.Last()->FailOperation(Op::Write, EIO);
  com.SetOnCommError(
      TOnCommErrorEvent::Bind(&reported, [&](TObject* sender, std::uint32_t code, std::uint32_t sys,
                                             TComStateFlags state, bool& flush) {
        EXPECT_EQ(sender, &com);
        reported = {code, sys, state};
        flush = true;
      }));
  log.Clear();
  com.Last()->ClearJournal();
  EXPECT_NO_THROW(com.SendChar('z'));
  EXPECT_EQ(reported, (std::vector<std::uint32_t>{0, EIO, 0}));
  EXPECT_EQ(com.TotalSent(), 0u);
  EXPECT_EQ(log.Lines().back(), "1 skComm: Communication Error 0:5 0");
  // The handler asked for the buffers to be flushed.
  EXPECT_EQ(sktest::JournalOfCalls(*com.Last()),
            (std::vector<std::string>{"Write 1", "PurgeComm 0xF", "CancelIo"}));
  EXPECT_TRUE(com.Active());
}

TEST(PortSendFake, LineControlEscapesAndTracesOnlyWhileOpen) {
  std::vector<TTraceStates> traces;
  FakeComm com;
  com.SetOnTraceState(
      TOnTraceEvent::Bind(&traces, [&](TObject*, TTraceStates s) { traces.push_back(s); }));
  com.SetStateDTR(false);
  EXPECT_TRUE(traces.empty());
  com.SetActive(true);
  traces.clear();
  com.Last()->ClearJournal();
  com.SetStateDTR(false);
  com.SetStateDTR(true);
  com.SetStateRTS(true);
  com.SetStateRTS(false);
  com.SetStateX(false);
  com.SetStateX(true);
  com.SetStateBreak(true);
  com.SetStateBreak(false);
  std::vector<std::string> escapes;
  for (const auto& e : com.Last()->Journal())
    if (e.rfind("EscapeCommFunction", 0) == 0) escapes.push_back(e.substr(19));
  EXPECT_EQ(escapes, (std::vector<std::string>{"6", "5", "3", "4", "1", "2", "8", "9"}));
  const auto dsr = SetOf<TTraceStates>(tsDSR), cts = SetOf<TTraceStates>(tsCTS);
  EXPECT_EQ(traces, (std::vector<TTraceStates>{dsr, dsr, cts, cts}));
}

TEST(PortSendFake, ModemSignalsAndMonitorsFollowTheLines) {
  FakeComm com;
  sktest::CheckBox cts, dsr, rlsd, ring;
  TComponent notACheckBox;
  com.SetMonitorCTS(&cts);
  com.SetMonitorDSR(&dsr);
  com.SetMonitorRLSD(&notACheckBox);  // left alone
  com.SetMonitorRing(&ring);
  com.SetActive(true);
  com.Last()->SetModemStatus(MS_CTS_ON | MS_DSR_ON);
  EXPECT_EQ(com.ModemSignals(), SetOf<TModemSignals>(msCTS, msDSR));
  com.SetStateDTR(true);
  EXPECT_TRUE(cts.Checked());
  EXPECT_TRUE(dsr.Checked());
  EXPECT_FALSE(ring.Checked());
  com.DoTraceState(&com, SetOf<TTraceStates>(tsRing));
  EXPECT_TRUE(ring.Checked());
  com.Last()->SetModemStatus(MS_RLSD_ON);
  com.DoTraceState(&com, 0);
  EXPECT_FALSE(cts.Checked());
  EXPECT_TRUE(ring.Checked());  // the port never puts the ring lamp out
  com.SetActive(false);         // closing traces with no lines at all
  EXPECT_FALSE(dsr.Checked());
  EXPECT_EQ(com.ModemSignals(), 0);
}

TEST(PortSendFake, AMonitorThatIsDestroyedIsDropped) {
  FakeComm com;
  com.SetActive(true);
  {
    sktest::CheckBox cts;
    com.SetMonitorCTS(&cts);
  }
  EXPECT_EQ(com.MonitorCTS(), nullptr);
  EXPECT_NO_THROW(com.SetStateRTS(true));
}

TEST(PortSendFake, WaitForSignalSeesTheLineComeOnOrGivesUp) {
  FakeComm com;
  EXPECT_FALSE(com.WaitForSignal(msDSR, 5000));  // closed: at once
  com.SetActive(true);
  auto fake = com.Last();
  // DSR comes on once the waiter has looked at least once.
  std::thread line([&] {
    while (fake->Calls(Op::GetCommModemStatus) == 0) std::this_thread::yield();
    fake->SetModemStatus(MS_DSR_ON);
  });
  EXPECT_TRUE(com.WaitForSignal(msDSR, 10000));
  line.join();
  const std::uint32_t start = platform::GetTickCount();
  EXPECT_FALSE(com.WaitForSignal(msCTS, 60));
  EXPECT_GE(platform::GetTickCount() - start, 60u);
  EXPECT_FALSE(com.WaitForSignal(static_cast<TModemSignal>(9), 0));
}

TEST(PortSendFake, DirectionControlRaisesRtsBeforeSendingAndDropsItOnPurge) {
  FakeComm com;
  com.SetRS485Mode(true);
  com.SetActive(true);
  com.Last()->ClearJournal();
  com.SendChar('r');
  com.ClearDeviceOutput();
  auto j = sktest::JournalOfCalls(*com.Last());
  j.erase(std::remove(j.begin(), j.end(), "GetCommModemStatus"), j.end());
  if (platform::DriverTogglesRts()) {
    // The driver raises RTS around each transmission itself: the port leaves the line alone.
    EXPECT_FALSE(com.IsNotSupportRS485());
    EXPECT_EQ(j, (std::vector<std::string>{"Write 1", "PurgeComm 0x5"}));
  } else {
    EXPECT_TRUE(com.IsNotSupportRS485());
    EXPECT_EQ(com.Last()->Mask(), EV_RXCHAR | EV_TXEMPTY);
    EXPECT_EQ(j, (std::vector<std::string>{"EscapeCommFunction 3", "Write 1", "PurgeComm 0x5",
                                           "EscapeCommFunction 4"}));
  }
}

TEST(PortSendFake, PropertiesAreRefreshedWhileOpenAndKeptWhenClosed) {
  FakeComm com;
  EXPECT_EQ(com.CommProp()->dwServiceMask, 0u);
  com.SetBufferOutSize(2048);
  com.SetActive(true);
  EXPECT_EQ(com.CommProp()->dwServiceMask, SP_SERIALCOMM);
  EXPECT_EQ(com.CommProp()->dwCurrentTxQueue, 2048u);
  com.SetActive(false);
  EXPECT_EQ(com.CommProp()->dwCurrentTxQueue, 2048u);
}

TEST(PortSendFake, ReceivedBytesAndKeystrokesGoThroughTheBoundTerminal) {
  TComponent owner;
  auto& com = TComponent::Create<FakeComm>(owner);
  auto& term = TComponent::Create<sktest::EditTerminal>(owner);
  com.SetTerminal(&term);
  com.SetTerminalUsage(tuBoth);
  com.SetActive(true);
  term.Type(u'k');
  EXPECT_EQ(com.Last()->Written(), Bytes{'k'});
  EXPECT_EQ(term.Text(), u"");  // no echo
  com.SetTerminalEcho(true);
  term.Type(u'e');
  EXPECT_EQ(term.Text(), u"e");

  const Bytes one{'1'}, several{'a', 'b', 0, 0xE9, 0};
  com.DoReceived(one.data(), 1);
  com.DoReceived(several.data(), 5);
  EXPECT_EQ(term.Text(), u"e1ab\u00E9");
  com.SetTerminalUsage(tuSend);  // keystrokes only
  com.DoReceived(one.data(), 1);
  EXPECT_EQ(term.Text(), u"e1ab\u00E9");
  com.SetTerminal(nullptr);
  EXPECT_FALSE(term.Filtered());  // its own handling is back
}

TEST(PortSendFake, ADataProcessorIsFedDetachedAndForgottenWithTheLinks) {
  TComponent owner;
  auto& com = TComponent::Create<FakeComm>(owner);
  auto* first = &TComponent::Create<sktest::RecordingProcessor>(owner);
  auto& term = TComponent::Create<sktest::EditTerminal>(owner);
  com.SetTerminal(&term);
  com.SetTerminalUsage(tuReceive);
  com.SetDataProcessor(first);
  EXPECT_EQ(first->Device(), &com);
  com.SetActive(true);
  EXPECT_EQ(first->codes, std::vector<int>{2});

  first->ignore = SetOf<TIgnoreTypes>(itTerminal);
  const Bytes chunk{'p', 'q'};
  com.DoReceived(chunk.data(), 2);
  EXPECT_EQ(first->received, chunk);
  EXPECT_EQ(term.Text(), u"");  // the processor kept it from the terminal

  // A processor replaced by another is detached from the port.
  auto& second = TComponent::Create<sktest::RecordingProcessor>(owner);
  com.SetDataProcessor(&second);
  EXPECT_EQ(first->Device(), nullptr);
  com.SetActive(false);
  EXPECT_EQ(first->codes, std::vector<int>{2});
  EXPECT_EQ(second.codes, std::vector<int>{1});

  // Destroyed, it is forgotten: the port goes on without it.
  owner.DestroyComponent(&second);
  EXPECT_EQ(com.DataProcessor(), nullptr);
  EXPECT_NO_THROW(com.SetActive(true));
  owner.DestroyComponent(&term);
  EXPECT_EQ(com.Terminal(), nullptr);
  EXPECT_NO_THROW(com.DoReceived(chunk.data(), 2));
}

}  // namespace
