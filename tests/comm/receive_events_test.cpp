// Port events a pseudo-terminal cannot raise (line errors, modem lines, an empty transmitter
// on cue), on the scriptable device; and the generic I/O thread of the base class.
#include <gtest/gtest.h>

#include <atomic>

#include "comm/comm_fixtures.h"
#include "comm/worker_fixtures.h"
#include "serialkit/comm/thread_io.h"
#include "serialkit/platform/application.h"

namespace {

using namespace sk;
using platform::CurrentThreadId;
using platform::FakeSerialDevice;
using platform::TThreadID;
using sktest::Bytes;
using sktest::ChunkProcessor;
using sktest::FakeComm;
using sktest::NotifyRecorder;
using sktest::RecordingLog;
using sktest::Seen;
using Op = FakeSerialDevice::Op;

// A port on the fake device handling its events in the message worker.
class FakePort : public ::testing::Test {
 protected:
  void SetUp() override {
    com.SetDataProcessor(&processor);
    com.SetLog(&log);
    com.SetUseMainThread(false);
  }
  void Open() {
    com.SetActive(true);
    ASSERT_TRUE(com.Active());
    fake = com.Last();
  }

  // What the handlers record; it outlives the port, which may still raise them as it closes.
  Seen seen;
  NotifyRecorder heard;
  std::vector<TThreadID> closes;
  std::vector<std::uint32_t> codes;
  std::vector<TTraceStates> traces;
  int sent = 0;

  TComponent owner;
  FakeComm& com = TComponent::Create<FakeComm>(owner);
  ChunkProcessor& processor = TComponent::Create<ChunkProcessor>(owner);
  RecordingLog& log = TComponent::Create<RecordingLog>(owner);
  std::shared_ptr<FakeSerialDevice> fake;
};

TEST_F(FakePort, AllFiveErrorFlagsAtOnceCloseThePortAsLostWithoutReading) {
  com.SetOnClose(TNotifyEvent::Bind(
      &closes, [&](TObject*) { seen.Update([&] { closes.push_back(CurrentThreadId()); }); }));
  Open();
  com.NotifyAdd(heard.Event());
  fake->InjectLineErrors(CE_RXOVER | CE_OVERRUN | CE_RXPARITY | CE_FRAME | CE_BREAK);
  fake->ReceiveBytes({1, 2, 3});
  // OnClose, then the subscribers, all in the worker.
  ASSERT_TRUE(sktest::Eventually([&] { return !heard.Codes().empty(); }));
  EXPECT_FALSE(com.Active());
  EXPECT_EQ(heard.Codes(), std::vector<int>{1});
  seen.Read([&] { EXPECT_NE(closes[0], CurrentThreadId()); });
  EXPECT_EQ(fake->Calls(Op::Read), 0);
  EXPECT_TRUE(fake->IsClosed());
}

TEST_F(FakePort, AFrameErrorGoesToDoCommErrorAndTheBytesWaitForTheNextEvent) {
  com.SetOnCommError(TOnCommErrorEvent::Bind(
      &codes, [&](TObject*, std::uint32_t Code, std::uint32_t Sys, TComStateFlags, bool&) {
        seen.Update([&] { codes.push_back(Code + Sys); });
      }));
  Open();
  fake->InjectLineErrors(CE_FRAME);
  fake->ReceiveBytes({'a', 'b', 'c'});
  ASSERT_TRUE(seen.Until([&] { return !codes.empty(); }));
  seen.Read([&] { EXPECT_EQ(codes, std::vector<std::uint32_t>{CE_FRAME}); });
  EXPECT_EQ(log.Lines().back(), "1 skComm: Communication Error 8:0 0");
  EXPECT_EQ(fake->Calls(Op::Read), 0);
  EXPECT_EQ(com.ReadyForRead(), 3u);
  EXPECT_EQ(com.TotalReceived(), 0u);
  EXPECT_TRUE(com.Active());

  fake->ReceiveBytes({'d'});
  ASSERT_TRUE(processor.seen.Until([&] { return !processor.chunks.empty(); }));
  processor.seen.Read([&] {
    EXPECT_EQ(processor.chunks, std::vector<Bytes>{(Bytes{'a', 'b', 'c', 'd'})});
  });
  EXPECT_EQ(com.TotalReceived(), 4u);
}

TEST_F(FakePort, OnAfterSendNeedsTheTraceStateAndAProcessorThatDoesNotTakeTheEvent) {
  com.SetOnAfterSend(TOnSent::Bind(&sent, [&](TObject*) { seen.Update([&] { ++sent; }); }));
  // The ring's trace state comes last in an event: it tells when the event has been handled.
  com.SetOnTraceState(TOnTraceEvent::Bind(
      &traces, [&](TObject*, TTraceStates s) { seen.Update([&] { traces.push_back(s); }); }));
  Open();
  // After each event: how often OnAfterSend had run, and the processor been asked.
  auto transmitterEmpty = [&] {
    const std::size_t before = seen.Read([&] { return traces.size(); });
    fake->RaiseEvents(EV_TXEMPTY | EV_RING);
    EXPECT_TRUE(seen.Until([&] { return traces.size() == before + 1; }));
    const int asked = processor.seen.Read([&] { return processor.sendCompletes; });
    return std::pair{seen.Read([&] { return sent; }), asked};
  };

  EXPECT_EQ(transmitterEmpty(), std::pair(0, 1));  // not traced
  com.SetTraceStates(SetOf<TTraceStates>(tsTxEmpty));
  processor.seen.Update([&] { processor.ignoreSendComplete = true; });
  EXPECT_EQ(transmitterEmpty(), std::pair(0, 2));  // traced, but the processor takes it
  processor.seen.Update([&] { processor.ignoreSendComplete = false; });
  EXPECT_EQ(transmitterEmpty(), std::pair(1, 3));
}

TEST_F(FakePort, AModemLineEventRaisesItsTraceStateAndMovesTheMonitor) {
  sktest::CheckBox& lamp = TComponent::Create<sktest::CheckBox>(owner);
  com.SetMonitorCTS(&lamp);
  com.SetTraceStates(SetOf<TTraceStates>(tsCTS));
  Open();
  com.SetOnTraceState(TOnTraceEvent::Bind(
      &traces, [&](TObject*, TTraceStates s) { seen.Update([&] { traces.push_back(s); }); }));
  fake->SetModemStatus(MS_CTS_ON);
  ASSERT_TRUE(seen.Until([&] { return !traces.empty(); }));
  seen.Read([&] { EXPECT_EQ(traces, std::vector<TTraceStates>{SetOf<TTraceStates>(tsCTS)}); });
  EXPECT_TRUE(lamp.Checked());
}

TEST_F(FakePort, AnEventHandedToTheMainThreadWhenTheCloseBeginsIsDropped) {
  com.SetUseMainThread(true);
  Open();
  sktest::MainThreadPosts posts;
  fake->ReceiveBytes({'z'});
  ASSERT_TRUE(posts.UntilPosted());
  const int looks = fake->Calls(Op::ClearCommError);
  com.SetActive(false);  // serves the handed-over event, which finds the close under way
  EXPECT_EQ(fake->Calls(Op::ClearCommError), looks + 1);  // the close's look at the output
  EXPECT_EQ(fake->Calls(Op::Read), 0);
  EXPECT_TRUE(processor.seen.Read([&] { return processor.chunks.empty(); }));
  EXPECT_EQ(com.TotalReceived(), 0u);
}

// --- The generic I/O thread ---------------------------------------------------------------

// An I/O component whose thread delivers one chunk and then waits to be stopped; with
// CloseFromThread it closes its own port from that thread instead.
class ThreadedIO : public TskBaseIO {
 public:
  ThreadedIO() { isThreaded = true; }
  ~ThreadedIO() override {
    BeginDestroy();
    DoClose();
    StopThreads();
  }
  void SendChar(char16_t) override {}
  void SendString(const ByteString&) override {}
  void SendData(const Byte*, std::uint32_t) override {}
  void ClearDeviceInput() override {}
  void ClearDeviceOutput() override {}
  void ClearDeviceBuffers() override {}

  std::atomic<bool> closeFromThread{false};
  std::atomic<int> runs{0};

 protected:
  THandle DeviceOpen() override { return std::make_shared<platform::FakeSerialDevice>(); }
  void ThreadIOExecute(TskThreadIO& Thread) override {
    ++runs;
    const Byte chunk[] = {'i', 'o'};
    DoReceived(chunk, 2);
    if (closeFromThread.load()) {
      DoClose();
      return;
    }
    while (!Thread.Terminated()) platform::Application().ProcessMessages(1);
  }
};

TEST(ThreadIO, DeliversInItsOwnThreadOrThroughTheMainThreadAndStopsWithTheClose) {
  for (const bool useMain : {false, true}) {
    SCOPED_TRACE(useMain);
    Seen seen;
    std::vector<TThreadID> threads;
    ThreadedIO io;
    io.SetUseMainThread(useMain);
    io.SetOnAfterReceive(TOnReceived::Bind(&threads, [&](TObject*, const Byte* b, std::uint32_t n) {
      EXPECT_EQ(Bytes(b, b + n), (Bytes{'i', 'o'}));
      seen.Update([&] { threads.push_back(CurrentThreadId()); });
    }));
    sktest::MainThreadPosts posts;
    io.SetActive(true);
    if (useMain) {
      ASSERT_TRUE(posts.UntilPosted());
      EXPECT_TRUE(seen.Read([&] { return threads.empty(); }));
      platform::Application().ProcessMessages();
    }
    ASSERT_TRUE(seen.Until([&] { return threads.size() == 1; }));
    seen.Read([&] { EXPECT_EQ(threads[0] == CurrentThreadId(), useMain); });
    io.SetActive(false);
    EXPECT_FALSE(io.Active());
  }
}

TEST(ThreadIO, AThreadThatClosesItsOwnPortIsJoinedByTheNextOpen) {
  NotifyRecorder heard;
  ThreadedIO io;
  io.NotifyAdd(heard.Event());
  io.SetUseMainThread(false);
  io.closeFromThread = true;
  io.SetActive(true);
  ASSERT_TRUE(sktest::Eventually([&] { return !io.Active(); }));
  io.closeFromThread = false;
  io.SetActive(true);
  EXPECT_TRUE(io.Active());
  EXPECT_TRUE(sktest::Eventually([&] { return io.runs.load() == 2; }));
  io.SetActive(false);
  EXPECT_EQ(heard.Codes(), (std::vector<int>{1, 1}));
}

}  // namespace
