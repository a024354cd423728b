// The receive path on pseudo-terminals: bytes written to the master end reach the port's
// workers the way a device's answer does.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "comm/comm_fixtures.h"
#include "comm/worker_fixtures.h"
#include "serialkit/platform/application.h"
#include "support/on_wine.h"

namespace {

using namespace sk;
using platform::CurrentThreadId;
using platform::TThreadID;
using sktest::Bytes;
using sktest::ChunkProcessor;
using sktest::Eventually;
using sktest::NotifyRecorder;
using sktest::RecordingLog;
using sktest::Seen;

class ReceivePath : public sktest::PtyPorts {
 protected:
  // A port on a new pseudo-terminal, handling its events in the message worker.
  platform::PseudoTerminal& OpenPort(TskComm& com, std::uint16_t PortNo) {
    auto& pty = AddPort(PortNo);
    com.SetComPortNo(PortNo);
    com.SetUseMainThread(false);
    com.SetActive(true);
    EXPECT_TRUE(com.Active());
    return pty;
  }
  const TThreadID main = CurrentThreadId();
};

std::size_t CountLines(const std::vector<std::string>& Lines, const std::string& Text) {
  return static_cast<std::size_t>(std::count(Lines.begin(), Lines.end(), Text));
}

TEST_F(ReceivePath, ABurstOfTenBytesIsOneReadAndOneDeliveryInTheMessageWorker) {
  Seen seen;
  std::vector<std::uint32_t> lengths;
  TComponent owner;
  auto& com = TComponent::Create<TskComm>(owner);
  auto& processor = TComponent::Create<ChunkProcessor>(owner);
  auto& log = TComponent::Create<RecordingLog>(owner);
  com.SetDataProcessor(&processor);
  com.SetLog(&log);
  com.SetOnAfterReceive(TOnReceived::Bind(&lengths, [&](TObject*, const Byte*, std::uint32_t n) {
    seen.Update([&] { lengths.push_back(n); });
  }));
  auto& pty = OpenPort(com, 61);

  const Bytes burst{'a', 'n', 's', 'w', 'e', 'r', 'B', '0', 0x0D, 0x0A};
  ASSERT_TRUE(pty.Write(burst));
  ASSERT_TRUE(seen.Until([&] { return !lengths.empty(); }));
  EXPECT_EQ(com.TotalReceived(), 10u);
  com.SetActive(false);  // whatever else might come has come and gone

  EXPECT_EQ(lengths, std::vector<std::uint32_t>{10});
  processor.seen.Read([&] {
    EXPECT_EQ(processor.chunks, std::vector<Bytes>{burst});
    ASSERT_EQ(processor.threads.size(), 1u);
    EXPECT_NE(processor.threads[0], main);
  });
  EXPECT_EQ(com.TotalReceived(), 10u);
  EXPECT_EQ(CountLines(log.Lines(), "2 skComm: Input data length: 10"), 1u);
}

TEST_F(ReceivePath, BytesNobodyReadsStayWaitingAndAreCountedAgainAtEveryEvent) {
  if (testsupport::OnWine())
    GTEST_SKIP() << "Wine reports EV_RXCHAR at every wait while bytes wait unread, not once as "
                    "they come: they are counted over and over";
  TskComm com;
  auto& pty = OpenPort(com, 62);
  ASSERT_TRUE(pty.Write({'a', 'b', 'c'}));
  ASSERT_TRUE(Eventually([&] { return com.TotalReceived() == 3; }));
  EXPECT_EQ(com.ReadyForRead(), 3u);
  ASSERT_TRUE(pty.Write({'d', 'e'}));
  // The second event finds all five waiting and counts them all.
  ASSERT_TRUE(Eventually([&] { return com.TotalReceived() == 8; }));
  EXPECT_EQ(com.ReadyForRead(), 5u);
  EXPECT_EQ(com.ReadString(), (Bytes{'a', 'b', 'c', 'd', 'e'}));
  EXPECT_EQ(com.ReadyForRead(), 0u);
}

TEST_F(ReceivePath, WithRxCharTracedBytesAreReadAndDroppedWithOnlyTheLogLine) {
  RecordingLog log;
  TskComm com;
  com.SetLog(&log);
  com.SetTraceStates(SetOf<TTraceStates>(tsRxChar));
  auto& pty = OpenPort(com, 63);
  ASSERT_TRUE(pty.Write({1, 2, 3, 4}));
  ASSERT_TRUE(
      Eventually([&] { return CountLines(log.Lines(), "2 skComm: Input data length: 4") == 1; }));
  EXPECT_EQ(com.ReadyForRead(), 0u);
  EXPECT_EQ(com.TotalReceived(), 4u);
}

TEST_F(ReceivePath, DirectReadsTakeWhatIsWaiting) {
  TskComm com;
  auto& pty = OpenPort(com, 64);
  ASSERT_TRUE(pty.Write({'1', '2', '3', '4', '5', '6'}));
  ASSERT_TRUE(Eventually([&] { return com.ReadyForRead() == 6; }));
  Bytes two(8, 0);
  EXPECT_EQ(com.ReadMax(two.data(), 2), 2);
  EXPECT_EQ(two, (Bytes{'1', '2', 0, 0, 0, 0, 0, 0}));
  Bytes one(1);
  com.Read(one.data(), 1);
  EXPECT_EQ(one, Bytes{'3'});
  Bytes rest;
  com.ReadAll(rest);
  EXPECT_EQ(rest, (Bytes{'4', '5', '6'}));
  // Nothing waiting: nothing read, nothing waited for.
  EXPECT_EQ(com.ReadMax(two.data(), 8), 0);
  EXPECT_TRUE(com.ReadString().empty());
}

TEST_F(ReceivePath, WaitForBytesKeepsTheWorkerFromReadingOnlyWhileNothingNeedsTheBytes) {
  TskComm com;
  const auto traced = SetOf<TTraceStates>(tsRxChar, tsTxEmpty);
  com.SetTraceStates(traced);
  auto& pty = OpenPort(com, 65);
  // Written once the wait has taken tsRxChar away, so that the worker leaves them.
  std::thread device([&] {
    if (Eventually([&] { return !InSet(com.TraceStates(), tsRxChar); })) pty.Write({'x', 'y', 'z'});
  });
  // True only if the worker left the bytes while the wait lasted; once tsRxChar is back the
  // worker may take them at once (the input it handed back is reported again), so what is
  // waiting afterwards is no measure.
  EXPECT_TRUE(com.WaitForBytes(3, 10000));
  device.join();
  EXPECT_EQ(com.TraceStates(), traced);

  com.SetActive(false);
  EXPECT_FALSE(com.WaitForBytes(1, 60000));  // closed: at once
  EXPECT_EQ(com.TraceStates(), traced);
}

TEST_F(ReceivePath, TheTransmitterRunningEmptyRaisesOnAfterSendInTheMessageWorker) {
  Seen seen;
  std::vector<TThreadID> sent;
  TskComm com;
  com.SetTraceStates(SetOf<TTraceStates>(tsTxEmpty));
  com.SetOnAfterSend(TOnSent::Bind(
      &sent, [&](TObject*) { seen.Update([&] { sent.push_back(CurrentThreadId()); }); }));
  auto& pty = OpenPort(com, 66);
  com.SendString({'h', 'i'});
  EXPECT_EQ(pty.Read(2, 5000), (Bytes{'h', 'i'}));
  ASSERT_TRUE(seen.Until([&] { return !sent.empty(); }));
  seen.Read([&] { EXPECT_NE(sent[0], main); });
}

TEST_F(ReceivePath, ClosingWhileTheWorkerIsInsideDoReceivedWaitsForItAndKeepsTheChunk) {
  Seen seen;
  bool entered = false, released = false, finished = false;
  Bytes chunk;
  TskComm com;
  com.SetOnAfterReceive(
      TOnReceived::Bind(&chunk, [&](TObject*, const Byte* Buffer, std::uint32_t Len) {
        seen.Update([&] { entered = true; });
        // Held until the main thread is closing the port.
        seen.Until([&] { return released; });
        Bytes copy(Buffer, Buffer + Len);  // the chunk is still there after the close
        seen.Update([&] {
          chunk = std::move(copy);
          finished = true;
        });
      }));
  com.SetOnClose(
      TNotifyEvent::Bind(&released, [&](TObject*) { seen.Update([&] { released = true; }); }));
  auto& pty = OpenPort(com, 67);
  ASSERT_TRUE(pty.Write({'l', 'a', 't', 'e'}));
  ASSERT_TRUE(seen.Until([&] { return entered; }));
  com.SetActive(false);
  EXPECT_FALSE(com.Active());
  seen.Read([&] {
    EXPECT_TRUE(finished);  // the close waited for the worker
    EXPECT_EQ(chunk, (Bytes{'l', 'a', 't', 'e'}));
  });
}

// Holds the chunk until the port has dropped its link, as a processor being destroyed in
// another thread does; then finishes with its own members.
class SlowProcessor : public sk::TskDataProcessorLink {
 public:
  SlowProcessor(TComponent* AOwner, Seen& Seen, bool& Finished)
      : TskDataProcessorLink(AOwner), seen_(Seen), finished_(Finished) {}
  ~SlowProcessor() override { BeginDestroy(); }
  void SetDevice(TskBaseIO* Value) override { device_ = Value; }
  void DoProcessing(const Byte* Data, std::uint32_t Len, TIgnoreTypes&) override {
    seen_.Update([&] { entered = true; });
    Eventually([&] { return static_cast<TskComm*>(device_)->DataProcessor() == nullptr; });
    kept_.assign(Data, Data + Len);
    seen_.Update([&] { finished_ = true; });
  }
  void DoAfterSendComplete(bool&) override {}
  bool entered = false;

 private:
  Seen& seen_;
  bool& finished_;
  TskBaseIO* device_ = nullptr;
  Bytes kept_;
};

TEST_F(ReceivePath, AProcessorDestroyedWhileTheWorkerIsInsideItWaitsForTheWorker) {
  Seen seen;
  bool finished = false;
  TComponent owner;
  auto& com = TComponent::Create<TskComm>(owner);
  auto& processor = TComponent::Create<SlowProcessor>(owner, seen, finished);
  com.SetDataProcessor(&processor);
  auto& pty = OpenPort(com, 73);
  ASSERT_TRUE(pty.Write({'g', 'o'}));
  ASSERT_TRUE(seen.Until([&] { return processor.entered; }));
  owner.DestroyComponent(&processor);
  EXPECT_TRUE(seen.Read([&] { return finished; }));
  EXPECT_TRUE(com.Active());
}

TEST_F(ReceivePath, WithUseMainThreadEventsAreHandledInTheMainThreadOnlyWhileItServes) {
  TComponent owner;
  auto& com = TComponent::Create<TskComm>(owner);
  auto& processor = TComponent::Create<ChunkProcessor>(owner);
  com.SetDataProcessor(&processor);
  auto& pty = OpenPort(com, 68);
  com.SetUseMainThread(true);
  sktest::MainThreadPosts posts;
  ASSERT_TRUE(pty.Write({'m', 'a', 'i', 'n'}));
  ASSERT_TRUE(posts.UntilPosted());
  // Handed over but not served: nothing has been read or counted yet.
  EXPECT_EQ(com.TotalReceived(), 0u);
  processor.seen.Read([&] { EXPECT_TRUE(processor.chunks.empty()); });
  EXPECT_TRUE(platform::Application().ProcessMessages());
  processor.seen.Read([&] {
    EXPECT_EQ(processor.chunks, std::vector<Bytes>{(Bytes{'m', 'a', 'i', 'n'})});
    EXPECT_EQ(processor.threads, std::vector<TThreadID>{main});
  });
  EXPECT_EQ(com.TotalReceived(), 4u);
}

TEST_F(ReceivePath, ALostConnectionClosesThePortInTheEventWorkerAndTheNextOpenWorks) {
#ifdef _WIN32
  GTEST_SKIP() << "closing the stand-in's master end leaves its link up: nothing is lost";
#endif
  Seen seen;
  NotifyRecorder heard;
  std::vector<TThreadID> closes;
  std::vector<Bytes> received;
  TskComm com;
  com.SetOnClose(TNotifyEvent::Bind(
      &closes, [&](TObject*) { seen.Update([&] { closes.push_back(CurrentThreadId()); }); }));
  auto& lost = OpenPort(com, 69);
  com.NotifyAdd(heard.Event());
  lost.CloseMaster();
  // OnClose, then the subscribers, all in the worker.
  ASSERT_TRUE(Eventually([&] { return !heard.Codes().empty(); }));
  EXPECT_FALSE(com.Active());
  EXPECT_EQ(heard.Codes(), std::vector<int>{1});
  seen.Read([&] { EXPECT_NE(closes[0], main); });
  EXPECT_NO_THROW(com.SendString({'?'}));  // a closed port: nothing, no error
  EXPECT_EQ(com.TotalSent(), 0u);

  // Plugged in again: the next open replaces the ended workers and receives.
  auto& again = AddPort(69);
  com.SetOnAfterReceive(
      TOnReceived::Bind(&received, [&](TObject*, const Byte* Buffer, std::uint32_t Len) {
        seen.Update([&] { received.emplace_back(Buffer, Buffer + Len); });
      }));
  com.SetActive(true);
  ASSERT_TRUE(com.Active());
  ASSERT_TRUE(again.Write({'b', 'a', 'c', 'k'}));
  ASSERT_TRUE(seen.Until([&] { return !received.empty(); }));
  seen.Read([&] { EXPECT_EQ(received[0], (Bytes{'b', 'a', 'c', 'k'})); });
  com.SetActive(false);
  EXPECT_EQ(heard.Codes(), (std::vector<int>{1, 2, 1}));
  seen.Read([&] { EXPECT_EQ(closes.size(), 2u); });
}

TEST_F(ReceivePath, AHandlerThatClosesThePortFromTheMessageWorkerDoesNotWaitForItself) {
  Seen seen;
  int calls = 0;
  TskComm com;
  com.SetOnAfterReceive(TOnReceived::Bind(&calls, [&](TObject*, const Byte*, std::uint32_t) {
    com.SetActive(false);
    seen.Update([&] { ++calls; });
  }));
  auto& pty = OpenPort(com, 70);
  ASSERT_TRUE(pty.Write({'q'}));
  ASSERT_TRUE(seen.Until([&] { return calls == 1; }));
  EXPECT_FALSE(com.Active());
  // Opened again from the main thread, the stopped worker is joined and new ones run.
  com.SetActive(true);
  ASSERT_TRUE(pty.Write({'r'}));
  ASSERT_TRUE(seen.Until([&] { return calls == 2; }));
  EXPECT_FALSE(com.Active());
}

TEST_F(ReceivePath, AThrowingHandlerIsReportedAsFatalErrorOneAndTheNextEventIsHandled) {
  sktest::ErrorReports reports;
  RecordingLog log;
  Seen seen;
  std::vector<std::string> fatal;
  int received = 0;
  TskComm com;
  com.SetLog(&log);
  com.SetOnAfterReceive(TOnReceived::Bind(&received, [&](TObject*, const Byte*, std::uint32_t) {
    seen.Update([&] { ++received; });
    throw Exception("handler failed");
  }));
  com.SetOnFatalError(TOnFatalErrorEvent::Bind(
      &fatal, [&](TObject*, std::uint32_t Code, std::uint32_t, const std::string& Msg, bool&) {
        seen.Update([&] { fatal.push_back(std::to_string(Code) + " " + Msg); });
      }));
  auto& pty = OpenPort(com, 71);
  ASSERT_TRUE(pty.Write({'1'}));
  ASSERT_TRUE(reports.seen.Until([&] { return reports.messages.size() == 1; }));
  reports.seen.Read([&] {
    EXPECT_EQ(reports.messages[0], "handler failed");
    EXPECT_NE(reports.threads[0], main);  // shown by the thread that handled the event
  });
  seen.Read([&] { EXPECT_EQ(fatal, std::vector<std::string>{"1 handler failed"}); });
  const auto lines = log.Lines();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
    return l.rfind("0 Fatal Error: 1, ", 0) == 0 && l.find(", handler failed") != l.npos;
  }));
  ASSERT_TRUE(pty.Write({'2'}));
  EXPECT_TRUE(seen.Until([&] { return received == 2; }));
  EXPECT_TRUE(com.Active());
}

TEST_F(ReceivePath, AnErrorReportShownInTheMainThreadDoesNotHoldUpAClose) {
  // As a GUI shows its message box: in the main thread, with the reporting thread waiting.
  TThreadID shownIn = 0;
  sktest::ErrorReports reports([&](const std::string&) {
    platform::Application().Synchronize([&] { shownIn = CurrentThreadId(); });
  });
  TskComm com;
  com.SetOnAfterReceive(TOnReceived::Bind(
      &com, [](TObject*, const Byte*, std::uint32_t) { throw Exception("shown later"); }));
  auto& pty = OpenPort(com, 72);
  sktest::MainThreadPosts posts;
  ASSERT_TRUE(pty.Write({'!'}));
  ASSERT_TRUE(posts.UntilPosted());
  com.SetActive(false);  // serves the report while it waits for the worker
  EXPECT_FALSE(com.Active());
  reports.seen.Read([&] { EXPECT_EQ(reports.messages, std::vector<std::string>{"shown later"}); });
  EXPECT_EQ(shownIn, main);
}

}  // namespace
