// The processor on its device: notifications, the resets they bring (also while another
// thread processes), and sending through the hook or the device.
#include <stdlib.h>

#include <condition_variable>
#include <stdexcept>
#include <thread>

#include "chain_fixtures.h"
#include "serialkit/comm/serial_comm.h"
#include "serialkit/platform/port_map.h"
#include "serialkit/testing/pseudo_terminal.h"
#include "support/scratch_dir.h"

namespace {

using namespace sk;
using namespace chaintest;

TEST(ProcessorOnDevice, EveryProcessorOfAChainHasItsOwnEntryOnTheNotifyList) {
  TestDevice device;
  RecordingLog log;
  TskDataProcessor first;
  TskDataProtocol second;
  first.SetLog(&log);
  second.SetLog(&log);
  device.SetDataProcessor(&first);
  first.SetDataProcessor(&second);
  device.Notify(ncPortOpened);
  device.Notify(ncDeviceChanged);
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"2 skDataProc: Medium Opened",
                                                   "2 skDataProt: Medium Opened"}));
  log.Clear();
  first.SetDevice(nullptr);  // leaves the second one's entry
  device.Notify(ncPortClosed);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"2 skDataProt: Medium Closed"});
  log.Clear();
  second.SetDevice(&device);  // already there: not twice
  device.Notify(ncPortClosed);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"2 skDataProt: Medium Closed"});
}

TEST(ProcessorOnDevice, OpeningResetsBeforeItLogsAndClosingLogsBeforeItResets) {
  TestDevice device;
  RecordingLog log;
  TskDataProcessor proc;
  AddAnswers(proc, {0});
  proc.SetLog(&log);
  device.SetDataProcessor(&proc);
  std::vector<std::string> seen;
  log.OnLine = [&](const std::string& line) {
    seen.push_back(line + (proc.DataPackets().Items(0).DataLength() == 0 &&
                                   proc.DataPackets().Items(0).State() == dpsWaitBegin
                               ? " (reset)"
                               : " (not reset)"));
  };
  const std::string half = "answerB0 half";
  device.Notify(ncPortOpened);
  proc.DataReceive(Ptr(half), Len(half));
  device.Notify(ncPortClosed);
  proc.DataReceive(Ptr(half), Len(half));
  device.Notify(ncPortOpened);
  EXPECT_EQ(seen, (std::vector<std::string>{"2 skDataProc: Medium Opened (reset)",
                                            "2 skDataProc: Medium Closed (not reset)",
                                            "2 skDataProc: Medium Opened (reset)"}));
}

TEST(ProcessorOnDevice, ClosingDropsPartialPackets) {
  TestDevice device;
  TskDataProcessor proc;
  AddAnswers(proc, {0});
  PacketJournal journal;
  proc.SetOnDataPacket(journal.For("p"));
  device.SetDataProcessor(&proc);
  device.Notify(ncPortOpened);
  const std::string head = "answerB0 first half ", tail = "second half answerE0";
  proc.DataReceive(Ptr(head), Len(head));
  EXPECT_TRUE(proc.IsPacketPossible());
  device.Notify(ncPortClosed);
  proc.DataReceive(Ptr(tail), Len(tail));
  EXPECT_EQ(journal.Count(), 0u);
}

TEST(ProcessorOnDevice, SendsGoThroughTheHookUnlessItLeavesThemToTheDevice) {
  TestDevice device;
  OpenProcessor proc;
  proc.SetDevice(&device);
  bool take = true;
  std::vector<std::string> hooked;
  proc.SetOnDataSend(TDataSendEvent::Bind(
      &proc, [&](TObject*, const Byte* p, std::uint32_t n, bool synchro, bool& handled) {
        hooked.push_back(std::string(reinterpret_cast<const char*>(p), n) +
                         (synchro ? " sync" : " async"));
        handled = take;
      }));
  proc.DoStringSend(ToBytes("taken"));
  take = false;
  proc.DoDataSend(Ptr("data"), 4);
  proc.DoStringSend(ToBytes("text"));
  proc.DoDataSend(Ptr("none"), 0);
  proc.DoStringSend({});
  EXPECT_EQ(hooked, (std::vector<std::string>{"taken sync", "data async", "text sync"}));
  EXPECT_EQ(device.Data(), std::vector<std::string>{"data"});
  EXPECT_EQ(device.Strings(), std::vector<std::string>{"text"});

  // A failing hook fails no send.
  proc.SetOnDataSend(TDataSendEvent::Bind(&proc, [](TObject*, const Byte*, std::uint32_t, bool,
                                                    bool&) { throw std::runtime_error("x"); }));
  EXPECT_NO_THROW(proc.DoDataSend(Ptr("data"), 4));
  EXPECT_NO_THROW(proc.DoStringSend(ToBytes("text")));
  EXPECT_EQ(device.Data().size(), 1u);
}

// The processor's error report and timer are those of the application object it is given.
TEST(ProcessorOnDevice, FailedSendsReachTheGivenErrorReportWithTheirOwnText) {
  platform::TApplication app;
  std::vector<std::string> reports;
  app.SetErrorReport([&](const std::string& m) { reports.push_back(m); });
  TestDevice device;
  OpenProcessor proc(nullptr, app);
  EXPECT_EQ(&proc.App(), &app);
  proc.SetDevice(&device);
  proc.SetOnDataSend(TDataSendEvent::Bind(&proc, [](TObject*, const Byte*, std::uint32_t, bool,
                                                    bool&) { throw std::runtime_error("hook"); }));
  EXPECT_NO_THROW(proc.DoDataSend(Ptr("data"), 4));
  EXPECT_NO_THROW(proc.DoStringSend(ToBytes("text")));
  // The device's send went out; only the log line after it failed.
  proc.SetOnDataSend(nullptr);
  RecordingLog log;
  log.OnLine = [](const std::string&) { throw std::runtime_error("log full"); };
  proc.SetLog(&log);
  EXPECT_NO_THROW(proc.DoDataSend(Ptr("sent"), 4));
  EXPECT_EQ(device.Data(), std::vector<std::string>{"sent"});
  EXPECT_EQ(reports, (std::vector<std::string>{"hook", "hook", "log full"}));

  // Only the given object's queue serves the silence timer.
  proc.SetLog(nullptr);
  AddAnswers(proc, {0});
  proc.Reset();
  bool silent = false;
  proc.SetOnTimeout(TNotifyEvent::Bind(&proc, [&](TObject*) { silent = true; }));
  proc.SetTimeout(20);
  proc.DataReceive(Ptr("answerB0"), 8);
  EXPECT_TRUE(ServeUntil(
      app, [&] { return silent; }, 10s));
}

// A real port on a pseudo-terminal, entered in a port map of this test's own.
class ProcessorOnPort : public ::testing::Test {
 protected:
#ifdef _WIN32
  // The stand-in's far end is a COM port of the system's already.
  void SetUp() override {
    com.SetComPortNo(std::stoi(pty.SlavePath().substr(3)));
  }
#else
  void SetUp() override {
    ::setenv("SK_PORTMAP_DIR", (dir / "ports").c_str(), 1);
    ASSERT_TRUE(platform::PortMap().AddOverride(61, pty.SlavePath()));
    com.SetComPortNo(61);
  }
  void TearDown() override {
    ::unsetenv("SK_PORTMAP_DIR");
  }
#endif

  testsupport::ScratchDir dir;
  platform::PseudoTerminal pty;
  TskComm com;
};

TEST_F(ProcessorOnPort, FollowsThePortsOpeningAndClosingAndSendsThroughIt) {
  RecordingLog log;
  OpenProcessor proc;
  AddAnswers(proc, {2});
  PacketJournal journal;
  proc.SetOnDataPacket(journal.For("p"));
  proc.SetLog(&log);
  com.SetDataProcessor(&proc);
  EXPECT_EQ(proc.Device(), &com);

  com.SetActive(true);
  ASSERT_TRUE(com.Active());
  const std::string answer = Answer("2", "ok");
  proc.DataReceive(Ptr(answer), Len(answer));
  EXPECT_EQ(journal.Count(), 1u);

  const std::string frame("\xA7\x00\x20\x00\x08", 5);
  proc.DoDataSend(Ptr(frame), Len(frame));
  proc.DoStringSend(ToBytes("str"));
  const auto wire = pty.Read(frame.size() + 3, 5000);
  EXPECT_EQ(std::string(wire.begin(), wire.end()), frame + "str");

  com.SetActive(false);
  proc.DoDataSend(Ptr(frame), Len(frame));  // a closed port sends nothing and fails nothing
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                             "2 skDataProc: Medium Opened",
                             "2 skDataProc: DataPacket is detected: TskDataPacket",
                             "2 skDataProc: DoDataSend: 5 bytes", "2 skDataProc: Medium Closed",
                             "2 skDataProc: DoDataSend: 5 bytes"}));
  com.SetDataProcessor(nullptr);
  EXPECT_EQ(proc.Device(), nullptr);
}

// Lets a handler wait in its thread until the test lets it go on.
class Gate {
 public:
  void Arrive() {
    std::unique_lock lock(mutex_);
    arrived_ = true;
    changed_.notify_all();
    changed_.wait(lock, [&] { return open_; });
  }
  bool WaitArrived() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return arrived_; });
  }
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool arrived_ = false;
  bool open_ = false;
};

TEST(ProcessorResets, AClosingInAnotherThreadWaitsForNoHandlerAndTakesEffectAfterTheChunk) {
  TestDevice device;
  TskDataProcessor proc;
  AddAnswers(proc, {0, 1});
  device.SetDataProcessor(&proc);
  device.Notify(ncPortOpened);
  Gate gate;
  proc.SetOnDataPacket(TskDataPacketEvent::Bind(&gate, [&](TObject*, TskDataPacket* P) {
    if (P->Tag() == 0) gate.Arrive();
  }));
  const std::string chunk = Answer("0", "a") + "answerB1 partial";
  std::thread receiver([&] { proc.DataReceive(Ptr(chunk), Len(chunk)); });
  ASSERT_TRUE(gate.WaitArrived());

  std::atomic<bool> closed{false};
  std::thread closer([&] {
    device.Notify(ncPortClosed);
    closed = true;
  });
  const bool closedWhileHandlerWaited = testsupport::Eventually([&] { return closed.load(); });
  gate.Open();
  closer.join();
  receiver.join();
  EXPECT_TRUE(closedWhileHandlerWaited) << "the closing thread waited for the handler";
  // The rest of the chunk was processed, then the reset dropped the partial packet.
  EXPECT_EQ(proc.DataPackets().Items(1).DataLength(), 0);
  EXPECT_EQ(proc.DataPackets().Items(1).State(), dpsWaitBegin);
}

TEST(ProcessorResets, AHandlerThatClosesThePortResetsAtOnceInItsOwnThread) {
  TestDevice device;
  TskDataProcessor proc;
  AddAnswers(proc, {0, 1});
  device.SetDataProcessor(&proc);
  device.Notify(ncPortOpened);
  PacketJournal journal;
  const auto record = journal.For("p");
  proc.SetOnDataPacket(TskDataPacketEvent::Bind(&proc, [&](TObject* S, TskDataPacket* P) {
    record(S, P);
    if (P->Tag() == 0) device.Notify(ncPortClosed);
  }));
  // Without the reset at once, the packet begun by answerB1 would end at answerE1.
  const std::string chunk = "answerB1 " + Answer("0", "x") + " answerE1";
  std::thread receiver([&] { proc.DataReceive(Ptr(chunk), Len(chunk)); });
  receiver.join();
  const auto got = journal.Get();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].tag, 0);
}

TEST(ProcessorResets, OpeningAndClosingWhileAnotherThreadProcessesNeverTearAPacket) {
  TestDevice device;
  TskDataProcessor proc;
  AddAnswers(proc, {0, 1});
  device.SetDataProcessor(&proc);
  device.Notify(ncPortOpened);
  std::atomic<int> torn{0};
  PacketJournal journal;
  const auto record = journal.For("p");
  proc.SetOnDataPacket(TskDataPacketEvent::Bind(&proc, [&](TObject* S, TskDataPacket* P) {
    const std::string n = std::to_string(P->Tag());
    if (ToText(P->Data()) != Answer(n, "payload of " + n)) ++torn;
    record(S, P);
  }));
  std::atomic<bool> stop{false};
  std::thread receiver([&] {
    const std::string chunk = Answer("0", "payload of 0") + Answer("1", "payload of 1");
    while (!stop) proc.DataReceive(Ptr(chunk), Len(chunk));
  });
  // Until the receiver has reported plenty of packets and the device has opened and closed
  // plenty of times meanwhile (the receiver may run ahead before this thread gets the CPU).
  int toggles = 0;
  testsupport::Eventually([&] { return journal.Count() >= 500 && toggles >= 200; }, 10s,
                          [&] {
                            device.Notify(ncPortClosed);
                            device.Notify(ncPortOpened);
                            proc.IsPacketPossible();
                            ++toggles;
                          });
  stop = true;
  receiver.join();
  EXPECT_EQ(torn, 0);
  EXPECT_GE(journal.Count(), 500u);
  EXPECT_GT(toggles, 0);
  // Whatever the last reset found, the processor still detects afterwards.
  const std::size_t before = journal.Count();
  const std::string last = Answer("1", "payload of 1");
  proc.DataReceive(Ptr(last), Len(last));
  EXPECT_EQ(journal.Count(), before + 1);
}

}  // namespace
