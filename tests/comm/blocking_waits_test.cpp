// WaitForBytes and WaitForSignal sleep on the waiting thread's queue between two looks: each
// port event and the close wake them, nothing else does.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "comm/comm_fixtures.h"
#include "serialkit/platform/tick.h"

namespace {

using namespace sk;
using sktest::FakeComm;
using Op = platform::FakeSerialDevice::Op;

// One of the two waits: what it calls to look, how to start it, and what ends it.
struct WaitCase {
  const char* name;
  Op look;
  std::function<bool(FakeComm&, std::uint32_t Ms)> wait;
  std::function<void(platform::FakeSerialDevice&)> cue;
};

const WaitCase kWaits[] = {
    {"WaitForBytes", Op::ClearCommError,
     [](FakeComm& c, std::uint32_t Ms) { return c.WaitForBytes(2, Ms); },
     [](platform::FakeSerialDevice& f) {
       f.ReceiveBytes({'a', 'b'});
     }},
    {"WaitForSignal", Op::GetCommModemStatus,
     [](FakeComm& c, std::uint32_t Ms) { return c.WaitForSignal(msDSR, Ms); },
     [](platform::FakeSerialDevice& f) { f.SetModemStatus(MS_DSR_ON); }},
};

// Does Act in another thread once the waiter has looked once more than before.
class AfterTheNextLook {
 public:
  AfterTheNextLook(platform::FakeSerialDevice& Fake, Op Look,
                   std::function<void(platform::FakeSerialDevice&)> Act)
      : thread_([&Fake, Look, Act, before = Fake.Calls(Look)] {
          while (Fake.Calls(Look) == before) std::this_thread::yield();
          Act(Fake);
        }) {}
  ~AfterTheNextLook() { thread_.join(); }

 private:
  std::thread thread_;
};

TEST(BlockingWaits, WithNothingHappeningAWaitLooksOnlyAtItsStartAndEnd) {
  for (const WaitCase& c : kWaits) {
    SCOPED_TRACE(c.name);
    FakeComm com;
    com.SetComPortNo(7);
    com.SetActive(true);
    const int before = com.Last()->Calls(c.look);
    const std::uint32_t start = platform::GetTickCount();
    EXPECT_FALSE(c.wait(com, 150));
    EXPECT_GE(platform::GetTickCount() - start, 150u);
    // A look every few milliseconds would be some thirty.
    EXPECT_LE(com.Last()->Calls(c.look) - before, 3);
  }
}

TEST(BlockingWaits, TheAwaitedChangeFromAnotherThreadEndsTheWait) {
  for (const WaitCase& c : kWaits) {
    SCOPED_TRACE(c.name);
    FakeComm com;
    com.SetComPortNo(7);
    com.SetActive(true);
    AfterTheNextLook cue(*com.Last(), c.look, c.cue);
    EXPECT_TRUE(c.wait(com, 60000));
  }
}

TEST(BlockingWaits, ALostDeviceEndsTheWaitAtOnce) {
  for (const WaitCase& c : kWaits) {
    SCOPED_TRACE(c.name);
    FakeComm com;
    com.SetComPortNo(7);
    com.SetActive(true);
    const std::uint32_t start = platform::GetTickCount();
    {
      AfterTheNextLook lose(*com.Last(), c.look,
                            [](platform::FakeSerialDevice& f) { f.Disconnect(); });
      EXPECT_FALSE(c.wait(com, 60000));
    }
    EXPECT_LT(platform::GetTickCount() - start, 30000u);
    EXPECT_FALSE(com.Active());
  }
}

// The line is watched for the wait alone: no trace event unless the trace states ask for one,
// and the mask is as they have it again afterwards.
TEST(BlockingWaits, ALineWatchedOnlyForTheWaitRaisesNoTraceEvent) {
  for (const bool traced : {false, true}) {
    SCOPED_TRACE(traced);
    FakeComm com;
    com.SetComPortNo(7);
    if (traced) com.SetTraceStates(SetOf<TTraceStates>(tsDSR));
    std::atomic<int> traceEvents{0};
    com.SetOnTraceState(TOnTraceEvent::Bind(&com, [&](TObject*, TTraceStates S) {
      if (InSet(S, tsDSR)) ++traceEvents;
    }));
    com.SetActive(true);
    const std::uint32_t maskBefore = com.EventMask();
    {
      AfterTheNextLook cue(*com.Last(), Op::GetCommModemStatus,
                           [](platform::FakeSerialDevice& f) { f.SetModemStatus(MS_DSR_ON); });
      EXPECT_TRUE(com.WaitForSignal(msDSR, 60000));
    }
    if (traced) {
      // The event that ended the wait may still be on its way to the trace.
      testsupport::ServeUntil([&] { return traceEvents != 0; }, std::chrono::seconds(10));
    }
    EXPECT_EQ(traceEvents.load(), traced ? 1 : 0);
    EXPECT_EQ(com.EventMask(), maskBefore);
    std::uint32_t mask = 0;
    ASSERT_TRUE(com.Last()->GetCommMask(mask));
    EXPECT_EQ(mask, maskBefore);
  }
}

}  // namespace
