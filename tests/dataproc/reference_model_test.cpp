// The fuzz target's differential run, on a fixed set of pseudo-random inputs, so that every
// build checks the framing against the plain model and not only fuzzing runs.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "fuzz/packet_differential.h"

namespace {

TEST(ReferenceModel, FramingAgreesWithThePlainModelOnRandomScenarios) {
  std::mt19937 random(20240611);
  std::vector<std::uint8_t> input;
  packet_fuzz::DiffResult total;
  for (int run = 0; run < 5000; ++run) {
    input.resize(random() % 1500);
    for (auto& b : input) b = static_cast<std::uint8_t>(random());
    const auto result = packet_fuzz::RunDifferential(input.data(), input.size());
    ASSERT_EQ(result.problem, "") << "run " << run;
    total.packets += result.packets;
    total.timeoutPackets += result.timeoutPackets;
    total.discards += result.discards;
    total.handlerActions += result.handlerActions;
  }
  // The scenarios reach completed packets, silence-ended packets, full buffers and handlers
  // that change definitions.
  EXPECT_GT(total.packets, 1000u);
  EXPECT_GT(total.timeoutPackets, 100u);
  EXPECT_GT(total.discards, 10u);
  EXPECT_GT(total.handlerActions, 1000u);
}

}  // namespace
