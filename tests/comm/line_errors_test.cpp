// Line errors on a device whose driver counters were not zero when the port opened.
#include <gtest/gtest.h>

#include <mutex>
#include <utility>
#include <vector>

#include "comm/comm_fixtures.h"
#include "comm/worker_fixtures.h"

namespace {

using namespace sk;
using sktest::ChunkProcessor;
using sktest::FakeComm;
using sktest::NotifyRecorder;

class PortLineErrors : public ::testing::Test {
 protected:
  void SetUp() override {
    com.SetUseMainThread(false);
    com.SetDataProcessor(&processor);
    com.SetComPortNo(7);
    com.SetOnCommError(TOnCommErrorEvent::Bind(
        &com, [this](TObject*, std::uint32_t Code, std::uint32_t, TComStateFlags, bool&) {
          processor.seen.Update([&] { errors.push_back(Code); });
        }));
    com.SetActive(true);
    ASSERT_TRUE(com.Active());
    com.NotifyAdd(heard.Event());
  }

  NotifyRecorder heard;
  TComponent owner;
  ChunkProcessor& processor = TComponent::Create<ChunkProcessor>(owner);
  FakeComm& com = TComponent::Create<FakeComm>(owner);
  std::vector<std::uint32_t> errors;  // under processor.seen
};

TEST_F(PortLineErrors, CountsLeftByEarlierUsersAreNoErrorsOfThisOpen) {
  com.Last()->ReceiveBytes({'o', 'k'});
  ASSERT_TRUE(processor.seen.Until([&] { return !processor.chunks.empty() || !errors.empty(); }));
  processor.seen.Read([&] {
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(processor.chunks, (std::vector<std::vector<Byte>>{{'o', 'k'}}));
  });
  EXPECT_TRUE(com.Active());
  EXPECT_TRUE(heard.Codes().empty());
}

TEST_F(PortLineErrors, AnErrorOfThisOpenIsReportedOnceWithItsFlag) {
  com.Last()->InjectLineErrors(CE_FRAME);
  com.Last()->ReceiveBytes({'x'});
  ASSERT_TRUE(processor.seen.Until([&] { return !errors.empty(); }));
  com.Last()->ReceiveBytes({'y'});
  ASSERT_TRUE(processor.seen.Until([&] { return !processor.chunks.empty(); }));
  processor.seen.Read([&] { EXPECT_EQ(errors, std::vector<std::uint32_t>{CE_FRAME}); });
}

TEST_F(PortLineErrors, AnErrorWhileAFullBufferIsEmptiedIsReported) {
  bool injected = false;  // the message worker's alone
  com.SetOnAfterReceive(TOnReceived::Bind(&injected, [&](TObject*, const Byte*, std::uint32_t) {
    if (!std::exchange(injected, true)) com.Last()->InjectLineErrors(CE_OVERRUN);
  }));
  // More than the read buffer holds: its second part is still waiting after the first read.
  com.Last()->ReceiveBytes(std::vector<std::uint8_t>(com.BufferInSize() + 100u, 'z'));
  ASSERT_TRUE(processor.seen.Until([&] { return !errors.empty(); }));
  processor.seen.Read([&] { EXPECT_EQ(errors, std::vector<std::uint32_t>{CE_OVERRUN}); });
}

TEST(LineErrorClear, AClearWithoutARecordStillClears) {
  platform::FakeSerialDevice device;
  std::uint32_t errors = 0xFF;
  ASSERT_TRUE(device.ClearCommError(&errors, nullptr));
  device.InjectLineErrors(CE_OVERRUN | CE_BREAK);
  ASSERT_TRUE(device.ClearCommError(nullptr, nullptr));
  ASSERT_TRUE(device.ClearCommError(&errors, nullptr));
  EXPECT_EQ(errors, 0u);
}

}  // namespace
