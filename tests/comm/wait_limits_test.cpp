// The waits of the port with the longest time limits: they wait, they do not give up at once.
#include <gtest/gtest.h>

#include <cstdint>

#include "comm/comm_fixtures.h"
#include "serialkit/platform/application.h"

namespace {

using namespace sk;
using sktest::FakeComm;

constexpr std::uint32_t kLongLimits[] = {0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu};

// What the waiting thread serves while it waits: the cue that ends the wait.
void WhileWaiting(std::function<void()> Cue) {
  ASSERT_TRUE(platform::Application().PostCall(platform::CurrentThreadId(), std::move(Cue)));
}

TEST(PortWaitLimits, WaitForBytesWithAnyLongLimitWaitsForTheBytes) {
  for (const std::uint32_t ms : kLongLimits) {
    SCOPED_TRACE(ms);
    FakeComm com;
    com.SetComPortNo(7);
    com.SetActive(true);
    WhileWaiting([&] { com.Last()->ReceiveBytes({'a', 'b'}); });
    EXPECT_TRUE(com.WaitForBytes(2, ms));
  }
}

TEST(PortWaitLimits, WaitForSignalWithAnyLongLimitWaitsForTheLine) {
  for (const std::uint32_t ms : kLongLimits) {
    SCOPED_TRACE(ms);
    FakeComm com;
    com.SetComPortNo(7);
    com.SetActive(true);
    WhileWaiting([&] { com.Last()->SetModemStatus(MS_DSR_ON); });
    EXPECT_TRUE(com.WaitForSignal(msDSR, ms));
  }
}

}  // namespace
