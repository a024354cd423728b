// Opening and closing: on pseudo-terminals where they can show it, on the fake otherwise.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "comm/comm_fixtures.h"
#include "serialkit/platform/application.h"
#include "serialkit/platform/serial_device.h"
#include "support/eventually.h"
#include "support/on_wine.h"

namespace {

using namespace sk;
using sktest::Bytes;
using sktest::FakeComm;
using sktest::NotifyRecorder;
using sktest::RecordingLog;
using testsupport::Eventually;
using namespace std::chrono_literals;

class PortLifecycle : public sktest::PtyPorts {};

TEST_F(PortLifecycle, OpensByComNameThroughThePortMapAndLogsIt) {
  auto& pty = AddPort(81);
  NotifyRecorder heard;
  TComponent owner;
  auto& com = TComponent::Create<TskComm>(owner);
  auto& log = TComponent::Create<RecordingLog>(owner);
  com.SetLog(&log);
  com.NotifyAdd(heard.Event());
  com.SetComPortNo(81);
  com.SetActive(true);
  ASSERT_TRUE(com.Active());
  EXPECT_EQ(heard.Codes(), (std::vector<int>{3, 2}));
  com.SendChar('x');
  EXPECT_EQ(pty.Read(1, 5000), Bytes{'x'});
  com.SetActive(false);
  EXPECT_FALSE(com.Active());
  EXPECT_EQ(heard.Codes(), (std::vector<int>{3, 2, 1}));
  const auto lines = log.Lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.front(), "0 skComm: The port COM81 is opened succesfully");
  EXPECT_EQ(lines.back(), "0 skComm: The port is closed succesfully");
}

TEST_F(PortLifecycle, ADevicePathOpensInsteadOfTheNumberUntilItIsEmptied) {
  auto& numbered = AddPort(84);
  auto& byPath = AddPort(85);
  TskComm com;
  com.SetComPortNo(84);
  com.SetDevicePath(byPath.SlavePath());
  com.SetActive(true);
  ASSERT_TRUE(com.Active());
  EXPECT_EQ(com.ComName(), byPath.SlavePath());
  ASSERT_TRUE(byPath.Write({'p', 'q'}));
  ASSERT_TRUE(com.WaitForBytes(2, 5000));
  EXPECT_EQ(com.ReadString(), (Bytes{'p', 'q'}));
  com.SetActive(false);

  const std::string missing = (dir.Path() / "no-such-tty").string();
  com.SetDevicePath(missing);
  try {
    com.SetActive(true);
    ADD_FAILURE() << "a missing path opened";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()), "Device \"" + missing + "\" Open Error !!!\r" +
                                         sktest::ShownSystemText(sktest::kNoSuchPort));
  }
  EXPECT_FALSE(com.Active());

  com.SetDevicePath("");
  com.SetActive(true);
  ASSERT_TRUE(com.Active());
  EXPECT_EQ(com.ComName(), "COM84");
  com.SendChar('n');
  EXPECT_EQ(numbered.Read(1, 5000), Bytes{'n'});
}

TEST_F(PortLifecycle, ChangingThePortNumberReopensOnTheNewPortWithCodesOneTwoThree) {
  auto& first = AddPort(82);
  auto& second = AddPort(83);
  NotifyRecorder heard;
  TskComm com;
  com.SetComPortNo(82);
  com.SetActive(true);
  com.NotifyAdd(heard.Event());
  com.SetComPortNo(83);
  EXPECT_TRUE(com.Active());
  EXPECT_EQ(heard.Codes(), (std::vector<int>{1, 2, 3}));
  com.SendChar('y');
  EXPECT_EQ(second.Read(1, 5000), Bytes{'y'});
  EXPECT_TRUE(first.Read(1, 0).empty());
}

TEST_F(PortLifecycle, OpensAPathHandedOverAsAHandleAndNamesItsPort) {
  auto& pty = AddPort(84);
  NotifyRecorder heard;
  TskComm com;
  RecordingLog log;
  com.SetLog(&log);
  com.SetComPortNo(84);
  com.NotifyAdd(heard.Event());
  com.SetExtHandle(nullptr);  // nothing to adopt: nothing happens
  EXPECT_FALSE(com.Active());
  com.SetExtHandle(platform::OpenSerialPort(pty.SlavePath()));
  ASSERT_TRUE(com.Active());
  EXPECT_EQ(heard.Codes(), std::vector<int>{2});
  EXPECT_EQ(log.Lines().back(), "0 skComm: The port COM84 is opened succesfully");
  com.SendString({'o', 'k'});
  EXPECT_EQ(pty.Read(2, 5000), (Bytes{'o', 'k'}));
}

TEST_F(PortLifecycle, APortNumberThatMapsToNothingFailsWithTheSystemText) {
  TskComm com;
  RecordingLog log;
  com.SetLog(&log);
  com.SetComPortNo(250);
  const std::string failed =
      "Device \"COM250\" Open Error !!!\r" + sktest::ShownSystemText(sktest::kNoSuchPort);
  try {
    com.SetActive(true);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.what(), failed);
  }
  EXPECT_FALSE(com.Active());
  EXPECT_EQ(com.TotalSent(), 0u);
  EXPECT_EQ(com.TotalReceived(), 0u);
  EXPECT_EQ(com.LastErrorString(), failed);
  EXPECT_EQ(log.Lines().back(), "0 Fatal Error: 1, 0, " + failed);
  // Every later attempt starts again from the beginning.
  AddPort(89);
  com.SetComPortNo(89);
  com.SetActive(true);
  EXPECT_TRUE(com.Active());
}

TEST_F(PortLifecycle, AHandlerThatClearsRaiseExceptionSilencesTheFailure) {
  TskComm com;
  com.SetComPortNo(251);
  struct Seen {
    std::uint32_t code = 99, detail = 99;
    std::string message;
  } seen;
  com.SetOnFatalError(TOnFatalErrorEvent::Bind(
      &seen, [&](TObject*, std::uint32_t c, std::uint32_t d, const std::string& m, bool& raise) {
        seen = {c, d, m};
        raise = false;
      }));
  EXPECT_NO_THROW(com.SetActive(true));
  EXPECT_FALSE(com.Active());
  EXPECT_EQ(seen.code, 1u);
  EXPECT_EQ(seen.detail, 0u);
  EXPECT_EQ(seen.message,
            "Device \"COM251\" Open Error !!!\r" + sktest::ShownSystemText(sktest::kNoSuchPort));
}

TEST_F(PortLifecycle, APortOpenElsewhereCannotBeOpenedAgain) {
  if (testsupport::OnWine()) GTEST_SKIP() << "Wine opens a serial port twice: no exclusive open";
  auto& pty = AddPort(85);
  TskComm first, second;
  first.SetComPortNo(85);
  second.SetComPortNo(85);
  first.SetActive(true);
  try {
    second.SetActive(true);
    FAIL() << "the second port opened too";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()),
              "Device \"COM85\" Open Error !!!\r" + sktest::ShownSystemText(sktest::kPortInUse));
  }
  EXPECT_FALSE(second.Active());
  first.SendChar('1');
  EXPECT_EQ(pty.Read(1, 5000), Bytes{'1'});
  first.SetActive(false);
  second.SetActive(true);  // free again once the first has closed
  EXPECT_TRUE(second.Active());
}

TEST_F(PortLifecycle, APathThatIsNotATerminalIsRefused) {
#ifdef _WIN32
  GTEST_SKIP() << "a COM name on Windows names a device, and no test can enter a plain file";
#endif
  dir.WriteFile("notatty", "");
  ASSERT_TRUE(platform::PortMap().AddOverride(86, dir / "notatty"));
  TskComm com;
  com.SetComPortNo(86);
  try {
    com.SetActive(true);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Device \"COM86\" Open Error !!!\rInappropriate ioctl for device");
  }
  EXPECT_FALSE(com.Active());
}

TEST_F(PortLifecycle, ADeviceThatDisappearsIsClosedAsLostAndLaterSendsDoNothing) {
#ifdef _WIN32
  GTEST_SKIP() << "closing the stand-in's master end leaves its link up: nothing is lost";
#endif
  auto& pty = AddPort(87);
  std::vector<std::uint32_t> errors;
  TskComm com;
  com.SetComPortNo(87);
  com.SetActive(true);
  com.SetOnCommError(
      TOnCommErrorEvent::Bind(&errors, [&](TObject*, std::uint32_t, std::uint32_t sys,
                                           TComStateFlags, bool&) { errors.push_back(sys); }));
  pty.CloseMaster();
  // The event worker finds the device gone and closes the port.
  ASSERT_TRUE(Eventually([&] { return !com.Active(); }));
  const Bytes block(100, 1);
  EXPECT_NO_THROW(com.SendChar('a'));
  EXPECT_NO_THROW(com.SendString({'b', 'c'}));
  EXPECT_NO_THROW(com.SendData(block.data(), 100));
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(com.TotalSent(), 0u);
  EXPECT_NO_THROW(com.SetActive(false));
}

TEST_F(PortLifecycle, OpeningWhileLoadingWaitsUntilLoadingEnds) {
  AddPort(88);
  TskComm com;
  com.BeginLoading();
  com.SetComPortNo(88);
  com.SetActive(true);
  EXPECT_TRUE(com.Active());     // the recorded value
  EXPECT_FALSE(com.IsOpened());  // but nothing opened yet
  com.EndLoading();
  EXPECT_TRUE(com.IsOpened());
}

TEST_F(PortLifecycle, AFailedOpenWhenLoadingEndsGoesToTheErrorReport) {
  std::vector<std::string> shown;
  platform::Application().SetErrorReport([&](const std::string& m) { shown.push_back(m); });
  {
    TskComm com;
    RecordingLog log;
    com.SetLog(&log);
    com.BeginLoading();
    com.SetComPortNo(252);
    com.SetActive(true);
    EXPECT_NO_THROW(com.EndLoading());
    EXPECT_FALSE(com.Active());
  }
  platform::Application().SetErrorReport(nullptr);
  EXPECT_EQ(shown, std::vector<std::string>{"Device \"COM252\" Open Error !!!\r" +
                                            sktest::ShownSystemText(sktest::kNoSuchPort)});
}

// --- On the fake: what a pseudo-terminal cannot show ---------------------------------------

TEST(PortLifecycleFake, OpenErrorsCarryTheSystemTextOfTheirCode) {
  FakeComm com;
  com.SetComPortNo(7);
  com.openError = EACCES;
  try {
    com.SetActive(true);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()),
              "Device \"COM7\" Open Error !!!\r" + sktest::ShownSystemText(EACCES));
  }
}

TEST(PortLifecycleFake, HandlersThatThrowOnOpenOrCloseDoNotStopEither) {
  NotifyRecorder heard;
  FakeComm com;
  com.NotifyAdd(heard.Event());
  auto thrower = TNotifyEvent::Bind(&com, [](TObject*) { throw Exception("handler"); });
  com.SetOnOpen(thrower);
  com.SetOnClose(thrower);
  EXPECT_NO_THROW(com.SetActive(true));
  EXPECT_TRUE(com.Active());
  EXPECT_NO_THROW(com.SetActive(false));
  EXPECT_FALSE(com.Active());
  EXPECT_TRUE(com.Last()->IsClosed());
  EXPECT_EQ(heard.Codes(), (std::vector<int>{2, 1}));
}

TEST(PortLifecycleFake, OpeningAnOpenPortOrClosingAClosedOneDoesNothing) {
  NotifyRecorder heard;
  int traces = 0;
  FakeComm com;
  com.NotifyAdd(heard.Event());
  com.SetOnTraceState(TOnTraceEvent::Bind(&traces, [&](TObject*, TTraceStates) { ++traces; }));
  com.SetActive(false);
  EXPECT_EQ(traces, 0);
  com.SetActive(true);
  auto fake = com.Last();
  const int before = traces;
  com.SetActive(true);
  EXPECT_EQ(com.Last(), fake);
  EXPECT_EQ(traces, before);
  EXPECT_EQ(heard.Codes(), std::vector<int>{2});
}

TEST(PortLifecycleFake, ClosingWithOutputPendingPurgesAndCancelsBeforeReleasing) {
  FakeComm com;
  com.SetActive(true);
  auto fake = com.Last();
  fake->SetOutputQueued(10);
  fake->ClearJournal();
  com.SetActive(false);
  auto j = sktest::JournalOfCalls(*fake);
  // The queue counts are read first; then purge, cancel, close in that order.
  j.erase(std::remove(j.begin(), j.end(), "ClearCommError"), j.end());
  EXPECT_EQ(j, (std::vector<std::string>{"PurgeComm 0xF", "CancelIo", "Close"}));
}

TEST(PortLifecycleFake, TotalsStartAgainAtEveryOpen) {
  FakeComm com;
  com.SetActive(true);
  com.SendChar('a');
  com.SendChar('b');
  EXPECT_EQ(com.TotalSent(), 2u);
  com.SetActive(false);
  EXPECT_EQ(com.TotalSent(), 2u);  // kept while closed
  com.SetActive(true);
  EXPECT_EQ(com.TotalSent(), 0u);
}

TEST(PortLifecycleFake, ALostConnectionClosesWithoutRetryUnlessKeepConnectionIsSet) {
  NotifyRecorder heard;
  int closes = 0;
  FakeComm com;
  RecordingLog log;
  com.SetLog(&log);
  com.NotifyAdd(heard.Event());
  com.SetOnClose(TNotifyEvent::Bind(&closes, [&](TObject*) { ++closes; }));
  com.SetActive(true);
  log.Clear();
  com.InternalClose(false);
  EXPECT_FALSE(com.Active());
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(heard.Codes(), (std::vector<int>{2, 1}));
  EXPECT_TRUE(log.Lines().empty());

  // With KeepConnection the timer ticks once, writes its line and stays off.
  com.SetKeepConnection(true);
  com.SetActive(true);
  log.Clear();
  com.InternalClose(false);
  testsupport::ServeUntil([&] { return !log.Lines().empty(); }, 10s);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"1 skComm: Try to keep connection ..."});
  com.SetActive(true);  // the next open works normally
  EXPECT_TRUE(com.Active());
}

TEST(PortLifecycleFake, ClosingAPortLostDuringAHandlerWaitsForTheHandlerToReturn) {
  FakeComm com;
  com.SetUseMainThread(false);
  std::atomic<bool> entered{false}, release{false}, left{false};
  com.SetOnAfterReceive(TOnReceived::Bind(&left, [&](TObject*, const Byte*, std::uint32_t) {
    entered = true;
    Eventually([&] { return release.load(); });
    left = true;
  }));
  com.SetActive(true);
  com.Last()->ReceiveBytes({'x'});
  ASSERT_TRUE(Eventually([&] { return entered.load(); }));
  // The event worker closes the port as lost while the message worker is in the handler.
  com.Last()->Disconnect();
  ASSERT_TRUE(Eventually([&] { return !com.Active(); }));

  // The main thread serves synchronized calls only while it waits for a worker: the handler is
  // let go once the close waits for it, and not before.
  std::thread releaser([&] { platform::Application().Synchronize([&] { release = true; }); });
  com.SetActive(false);
  EXPECT_TRUE(left) << "the close returned while the handler still ran";
  platform::Application().WaitServing([&] { return release.load(); }, 10000);
  releaser.join();
}

TEST(PortLifecycleFake, NotifySubscribersAreOneHandlerOfOneObject) {
  NotifyRecorder a, b;
  FakeComm com;
  com.NotifyAdd(a.Event());
  com.NotifyAdd(a.Event());
  com.NotifyAdd(b.Event());
  com.SetActive(true);
  EXPECT_EQ(a.Codes(), std::vector<int>{2});
  EXPECT_EQ(b.Codes(), std::vector<int>{2});
  com.NotifyDelete(a.Event());
  com.SetActive(false);
  EXPECT_EQ(a.Codes(), std::vector<int>{2});
  EXPECT_EQ(b.Codes(), (std::vector<int>{2, 1}));
}

TEST(PortLifecycleFake, DeviceListEntryNamesThePortThatOpens) {
  NotifyRecorder heard;
  class ListedComm : public FakeComm {
   public:
    ListedComm() {
      Insert(9, "/dev/rfcomm0");
      Insert(3, "/dev/ttyUSB3");
    }

   private:
    void Insert(std::int32_t Data, const std::string& PortName) {
      auto device = std::make_unique<TskDevice>();
      device->Data = Data;
      device->PortName = PortName;
      DeviceInsert(std::move(device));
    }
  } com;
  com.SetComPortNo(9);
  EXPECT_EQ(com.DeviceIndex(), 1);
  EXPECT_EQ(com.ComName(), "/dev/rfcomm0");
  com.SetActive(true);
  EXPECT_EQ(com.openedNames, std::vector<std::string>{"/dev/rfcomm0"});
  com.NotifyAdd(heard.Event());
  com.SetDeviceIndex(0);
  EXPECT_EQ(com.ComPortNo(), 3);
  EXPECT_EQ(heard.Codes(), (std::vector<int>{1, 2, 3}));
  com.SetDeviceIndex(2);  // out of range: nothing at all
  com.SetDeviceIndex(-1);
  EXPECT_EQ(heard.Codes(), (std::vector<int>{1, 2, 3}));
  com.SetComPortNo(5);
  EXPECT_EQ(com.DeviceIndex(), -1);
  EXPECT_EQ(com.ComName(), "COM5");
}

}  // namespace

namespace {

using namespace sk;
using sktest::FakeComm;
using sktest::NotifyRecorder;
using sktest::RecordingLog;

TEST(PortLifecycleFake, AnAdoptedHandleReplacesTheOpenPortWithCloseAndOpen) {
  NotifyRecorder heard;
  FakeComm com;
  RecordingLog log;
  com.SetLog(&log);
  com.SetComPortNo(6);
  com.SetActive(true);
  auto first = com.Last();
  com.NotifyAdd(heard.Event());
  log.Clear();
  auto adopted = std::make_shared<platform::FakeSerialDevice>();
  com.SetExtHandle(adopted);
  EXPECT_TRUE(first->IsClosed());
  EXPECT_EQ(com.Handle(), adopted);
  EXPECT_EQ(heard.Codes(), (std::vector<int>{1, 2}));
  EXPECT_EQ(log.Lines(),
            (std::vector<std::string>{"0 skComm: The port is closed succesfully",
                                      "0 skComm: The port COM6 is opened succesfully"}));
  EXPECT_EQ(adopted->Mask(), EV_RXCHAR);  // set up like any other port
  com.SetActive(false);
  com.SetActive(true);  // the adopted handle was taken once; the next open is by number again
  EXPECT_EQ(com.openedNames, (std::vector<std::string>{"COM6", "COM6"}));
}

TEST(PortLifecycleFake, AtDesignTimeAnOpenIsOnlyATest) {
  FakeComm com;
  com.SetDesigning(true);
  com.SetActive(true);
  EXPECT_TRUE(com.Active());  // the test succeeded
  EXPECT_FALSE(com.IsOpened());
  EXPECT_TRUE(com.Last()->IsClosed());
  com.openError = 2;
  EXPECT_THROW(com.SetActive(true), Exception);
  EXPECT_FALSE(com.Active());
}

TEST(PortLifecycleFake, DestroyingAnOpenPortDetachesItsProcessorThenClosesIt) {
  NotifyRecorder heard;
  TComponent owner;
  auto& processor = TComponent::Create<sktest::RecordingProcessor>(owner);
  auto& log = TComponent::Create<RecordingLog>(owner);
  auto* com = &TComponent::Create<FakeComm>(owner);
  com->SetLog(&log);
  com->SetDataProcessor(&processor);
  com->NotifyAdd(heard.Event());
  com->SetActive(true);
  auto fake = com->Last();
  owner.DestroyComponent(com);
  EXPECT_TRUE(fake->IsClosed());
  EXPECT_EQ(processor.Device(), nullptr);
  EXPECT_EQ(processor.codes, std::vector<int>{2});  // gone before the close
  EXPECT_EQ(heard.Codes(), (std::vector<int>{2, 1}));
  EXPECT_EQ(log.Lines().back(), "0 skComm: The port is closed succesfully");
}

}  // namespace
