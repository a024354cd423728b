// Packet detection through the processors, chaining, and handlers that fail.
#include <stdexcept>

#include "chain_fixtures.h"

namespace {

using namespace sk;
using namespace chaintest;

// Sees what reaches it and the R it was handed, into a journal shared along a chain.
class ChunkRecorder : public OpenProcessor {
 public:
  ChunkRecorder(std::string Name, std::vector<std::string>& Journal)
      : name_(std::move(Name)), journal_(Journal) {}
  void DoProcessing(const Byte* Data, std::uint32_t Len, TIgnoreTypes& R) override {
    journal_.push_back(name_ + " R=" + std::to_string(R) + " " +
                       std::string(reinterpret_cast<const char*>(Data), Len));
    OpenProcessor::DoProcessing(Data, Len, R);
  }

 private:
  std::string name_;
  std::vector<std::string>& journal_;
};

TEST(DataProcessor, DetectsNothingBeforeAResetAndTheSameBytesAfterIt) {
  TskDataProcessor proc;
  EXPECT_TRUE(proc.Active());
  EXPECT_FALSE(TskDataProtocol().Active());
  AddAnswers(proc, {0, 3});
  PacketJournal journal;
  proc.SetOnDataPacket(journal.For("p"));
  const std::string bytes = "xx" + Answer("3", "\x01\x02") + Answer("0", "ok");

  proc.DataReceive(Ptr(bytes), Len(bytes));
  EXPECT_EQ(journal.Count(), 0u);

  proc.Reset();
  proc.DataReceive(Ptr(bytes), Len(bytes));
  const auto got = journal.Get();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].tag, 3);
  EXPECT_EQ(got[0].data, Answer("3", "\x01\x02"));
  EXPECT_EQ(got[1].tag, 0);
  EXPECT_EQ(got[1].data, Answer("0", "ok"));
  EXPECT_FALSE(proc.IsPacketPossible());
  const std::string half = "answerB0 half";
  proc.DataReceive(Ptr(half), Len(half));
  EXPECT_TRUE(proc.IsPacketPossible());
}

TEST(DataProcessor, TheDeviceOpeningStartsDetectionLikeAReset) {
  TestDevice device;
  TskDataProcessor proc;
  AddAnswers(proc, {1});
  PacketJournal journal;
  proc.SetOnDataPacket(journal.For("p"));
  device.SetDataProcessor(&proc);
  const std::string bytes = Answer("1", "hello");
  proc.DataReceive(Ptr(bytes), Len(bytes));
  EXPECT_EQ(journal.Count(), 0u);
  device.Notify(ncDeviceChanged);  // a selection change is not an opening
  proc.DataReceive(Ptr(bytes), Len(bytes));
  EXPECT_EQ(journal.Count(), 0u);
  device.Notify(ncPortOpened);
  proc.DataReceive(Ptr(bytes), Len(bytes));
  EXPECT_EQ(journal.Count(), 1u);
}

TEST(DataProcessor, InactiveItDetectsNothingLeavesRAndTheTimerAloneButPassesTheChunkOn) {
  std::vector<std::string> chunks;
  OpenProcessor first;
  ChunkRecorder second("second", chunks);
  first.SetDataProcessor(&second);
  AddAnswers(first, {0});
  first.Reset();
  first.SetTimeout(200);
  first.flSkipFurtherProcessing = true;
  PacketJournal journal;
  first.SetOnDataPacket(journal.For("first"));
  first.SetActive(false);

  const std::string bytes = Answer("0", "x");
  TIgnoreTypes r = SetOf<TIgnoreTypes>(itEventList);
  first.DoProcessing(Ptr(bytes), Len(bytes), r);
  EXPECT_EQ(journal.Count(), 0u);
  EXPECT_FALSE(first.TimerArmed());
  EXPECT_EQ(r, SetOf<TIgnoreTypes>(itEventList));
  ASSERT_EQ(chunks.size(), 1u);
  EXPECT_EQ(chunks[0], "second R=2 " + bytes);

  first.SetActive(true);
  first.DoProcessing(Ptr(bytes), Len(bytes), r);
  EXPECT_EQ(journal.Count(), 1u);
  EXPECT_TRUE(first.TimerArmed());
  EXPECT_EQ(r, SetOf<TIgnoreTypes>(itTerminal));  // replaced, not added to
  first.StartAsyncTimer(0);
}

TEST(DataProcessorChain, BothSeeEveryByteTheFirstFirstAndTheSecondGetsTheFirstsR) {
  std::vector<std::string> chunks;
  ChunkRecorder first("first", chunks);
  ChunkRecorder second("second", chunks);
  TestDevice device;
  device.SetDataProcessor(&first);
  first.SetDataProcessor(&second);
  EXPECT_EQ(second.Device(), &device);  // the next one hears the device as well
  AddAnswers(first, {0, 1});
  AddAnswers(second, {1});
  PacketJournal journal;
  first.SetOnDataPacket(journal.For("first"));
  second.SetOnDataPacket(journal.For("second"));
  device.Notify(ncPortOpened);
  first.flSkipFurtherProcessing = true;

  const std::string bytes = Answer("0", "a") + Answer("1", "b");
  TIgnoreTypes r = 0;
  first.DoProcessing(Ptr(bytes), Len(bytes), r);
  ASSERT_EQ(chunks.size(), 2u);
  EXPECT_EQ(chunks[0], "first R=0 " + bytes);
  EXPECT_EQ(chunks[1], "second R=1 " + bytes);
  const auto got = journal.Get();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].who + std::to_string(got[0].tag), "first0");
  EXPECT_EQ(got[1].who + std::to_string(got[1].tag), "first1");
  EXPECT_EQ(got[2].who + std::to_string(got[2].tag), "second1");
  EXPECT_EQ(got[2].data, Answer("1", "b"));
}

TEST(DataProcessorChain, AProcessorIsNotItsOwnNext) {
  TskDataProcessor a, b;
  a.SetDataProcessor(&a);
  EXPECT_EQ(a.DataProcessor(), nullptr);
  a.SetDataProcessor(&b);
  a.SetDataProcessor(&a);
  EXPECT_EQ(a.DataProcessor(), &b);
}

TEST(DataProcessorChain, AChainThatLoopsBackHandsEachChunkOnceToEveryProcessor) {
  std::vector<std::string> chunks;
  ChunkRecorder a("a", chunks), b("b", chunks), c("c", chunks);
  a.SetDataProcessor(&b);
  b.SetDataProcessor(&a);
  const std::string bytes = "xyz";
  a.DataReceive(Ptr(bytes), Len(bytes));
  EXPECT_EQ(chunks, (std::vector<std::string>{"a R=0 xyz", "b R=0 xyz"}));

  // Looping back to the middle: a -> b -> c -> b.
  chunks.clear();
  b.SetDataProcessor(&c);
  c.SetDataProcessor(&b);
  a.DataReceive(Ptr(bytes), Len(bytes));
  EXPECT_EQ(chunks, (std::vector<std::string>{"a R=0 xyz", "b R=0 xyz", "c R=0 xyz"}));

  // Bytes that a handler feeds are a chunk of their own and go round the loop once too.
  chunks.clear();
  AddAnswers(c, {5});
  c.Reset();
  bool fed = false;
  c.SetOnDataPacket(TskDataPacketEvent::Bind(&c, [&](TObject*, TskDataPacket*) {
    if (fed) return;
    fed = true;
    const std::string more = "more";
    a.DataReceive(Ptr(more), Len(more));
  }));
  const std::string answer = Answer("5", "");
  a.DataReceive(Ptr(answer), Len(answer));
  EXPECT_EQ(chunks,
            (std::vector<std::string>{"a R=0 " + answer, "b R=0 " + answer, "c R=0 " + answer,
                                      "a R=0 more", "b R=0 more", "c R=0 more"}));
}

TEST(DataProcessorChain, LinksToDestroyedComponentsAreForgotten) {
  TskDataProcessor a;
  auto b = std::make_unique<TskDataProcessor>();
  auto log = std::make_unique<RecordingLog>();
  auto device = std::make_unique<TestDevice>();
  a.SetDataProcessor(b.get());
  a.SetLog(log.get());
  a.SetDevice(device.get());
  b.reset();
  log.reset();
  device.reset();
  EXPECT_EQ(a.DataProcessor(), nullptr);
  EXPECT_EQ(a.Log(), nullptr);
  EXPECT_EQ(a.Device(), nullptr);
  const std::string bytes = "abc";
  a.DataReceive(Ptr(bytes), Len(bytes));
}

// A processor with two answers whose first handler call throws.
class ThrowingHandler : public ::testing::Test {
 protected:
  void SetUp() override {
    proc.SetLog(&log);
    proc.SetDataProcessor(&next);
    AddAnswers(proc, {0, 1});
    proc.Reset();
    proc.SetOnDataPacket(TskDataPacketEvent::Bind(this, [this](TObject*, TskDataPacket* P) {
      reported.push_back(ToText(P->Data()));
      if (reported.size() == 1) throw std::runtime_error("boom");
    }));
  }
  RecordingLog log;
  std::vector<std::string> chunks;
  ChunkRecorder proc{"proc", chunks};
  ChunkRecorder next{"next", chunks};
  std::vector<std::string> reported;
  const std::string bytes = Answer("0", "a") + Answer("1", "b") + Answer("0", "c");
};

TEST_F(ThrowingHandler, WithoutAFatalErrorHandlerTheCallerGetsTheMessageLoggedFirst) {
  proc.SetTimeout(200);
  try {
    proc.DataReceive(Ptr(bytes), Len(bytes));
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "EXCEPTION in DataPacket handler [TskDataPacket]boom");
    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "2 skDataProc: DataPacket is detected: TskDataPacket");
    EXPECT_EQ(lines[1],
              "0 Fatal Error: 15, 1, EXCEPTION in DataPacket handler [TskDataPacket]boom");
  }
  // The rest of the chunk is left, the definition keeps its packet, the timer is not started
  // and the next processor does not see the chunk.
  EXPECT_EQ(reported.size(), 1u);
  EXPECT_EQ(ToText(proc.DataPackets().Items(0).Data()), Answer("0", "a"));
  EXPECT_EQ(proc.DataPackets().Items(0).State(), dpsWaitEnd);
  EXPECT_FALSE(proc.TimerArmed());
  EXPECT_EQ(chunks, std::vector<std::string>{"proc R=0 " + bytes});
}

TEST_F(ThrowingHandler, AFatalErrorHandlerThatClearsRaiseExceptionLetsTheChunkGoOn) {
  proc.DataPackets().Items(0).SetCaption("Answer0");
  std::vector<std::string> fatal;
  proc.SetOnFatalError(
      TOnFatalErrorEvent::Bind(this, [&](TObject* Sender, std::uint32_t Code, std::uint32_t Detail,
                                         const std::string& Msg, bool& Raise) {
        EXPECT_EQ(Sender, &proc);
        fatal.push_back(std::to_string(Code) + "," + std::to_string(Detail) + "," + Msg);
        Raise = false;
      }));
  proc.DataReceive(Ptr(bytes), Len(bytes));
  EXPECT_EQ(fatal, std::vector<std::string>{"15,1,EXCEPTION in DataPacket handler [Answer0]boom"});
  // The failed definition was reset as usual: its next packet holds only its own bytes.
  EXPECT_EQ(reported,
            (std::vector<std::string>{Answer("0", "a"), Answer("1", "b"), Answer("0", "c")}));
  EXPECT_EQ(chunks.size(), 2u);
  EXPECT_EQ(log.Lines().at(1),
            "0 Fatal Error: 15, 1, EXCEPTION in DataPacket handler [Answer0]boom");
}

TEST(DataProcessor, AHandlerSwitchingActiveOffEndsTheChunkAndStopsTheTimer) {
  std::vector<std::string> chunks;
  OpenProcessor proc;
  ChunkRecorder next("next", chunks);
  proc.SetDataProcessor(&next);
  AddAnswers(proc, {0, 1});
  proc.Reset();
  proc.SetTimeout(200);
  int reports = 0;
  proc.SetOnDataPacket(TskDataPacketEvent::Bind(&proc, [&](TObject*, TskDataPacket*) {
    ++reports;
    proc.SetActive(false);
  }));
  const std::string warmup = "answerB1";
  proc.DataReceive(Ptr(warmup), Len(warmup));
  EXPECT_TRUE(proc.TimerArmed());
  const std::string bytes = "payloadanswerE1" + Answer("0", "x");
  proc.DataReceive(Ptr(bytes), Len(bytes));
  EXPECT_EQ(reports, 1);
  EXPECT_FALSE(proc.TimerArmed());
  EXPECT_EQ(chunks.size(), 2u);
}

}  // namespace
