// Read time-outs too long for the clock, on a real pseudo-terminal.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include "serialkit/testing/pseudo_terminal.h"
#include "serialkit/platform/serial_device.h"
#include "serialkit/platform/system_error.h"

namespace {

using namespace sk;
using Bytes = std::vector<std::uint8_t>;

TEST(ReadTimeouts, TotalsTooLargeForTheClockWaitForTheBytesInsteadOfEndingAtOnce) {
  struct Case {
    std::uint32_t multiplier, constant, count;
  };
  for (const Case c :
       {Case{0xFFFFFFFF, 0xFFFFFFFF, 4096}, Case{0xFFFFFFFE, 0, 3000}, Case{0xC0000000, 7, 4096}}) {
    SCOPED_TRACE(c.multiplier);
    platform::PseudoTerminal pty;
    auto device = platform::OpenSerialDevice(pty.SlavePath());
    ASSERT_TRUE(device) << platform::SystemErrorText(platform::LastError());
    COMMTIMEOUTS t{};
    t.ReadTotalTimeoutMultiplier = c.multiplier;
    t.ReadTotalTimeoutConstant = c.constant;
    ASSERT_TRUE(device->SetCommTimeouts(t));
    const std::uint32_t count = c.count;
    std::atomic<bool> reading{false};
    auto read = std::async(std::launch::async, [&] {
      Bytes got(count);
      std::uint32_t n = 0;
      reading.store(true);
      EXPECT_TRUE(device->Read(got.data(), count, n));
      got.resize(n);
      return got;
    });
    while (!reading.load()) std::this_thread::yield();
    // In pieces: a read that ended at once has ended before the last one comes.
    Bytes sent;
    for (std::uint32_t i = 0; i < count; i += 256) {
      Bytes piece(std::min<std::uint32_t>(256, count - i), static_cast<std::uint8_t>(i / 256));
      ASSERT_TRUE(pty.Write(piece));
      sent.insert(sent.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(read.get(), sent);
    device->Close();
  }
}

}  // namespace
