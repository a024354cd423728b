// Transmitter-empty events on a pseudo-terminal, which takes every byte at once: the device
// keeps the line's time itself and wakes a wait only when the mask asks for the event.
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "serialkit/testing/pseudo_terminal.h"
#include "serialkit/platform/serial_device.h"
#include "serialkit/platform/system_error.h"
#include "serialkit/platform/wake_event.h"

namespace {

using namespace sk;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kDeadlineMs = 10000;

class TransmitterEmpty : public ::testing::Test {
 protected:
  void SetUp() override {
    device = platform::OpenSerialDevice(pty.SlavePath());
    ASSERT_TRUE(device) << platform::SystemErrorText(platform::LastError());
  }

  void SetLine(std::uint32_t Baud, std::uint8_t Parity, std::uint8_t Stop) {
    DCB d;
    ASSERT_TRUE(device->GetCommState(d));
    d.BaudRate = Baud;
    d.ByteSize = 8;
    d.Parity = Parity;
    d.StopBits = Stop;
    ASSERT_TRUE(device->SetCommState(d));
  }

  // One waited write per character, as a sender of single header bytes does.
  void SendSingly(std::size_t Count) {
    for (std::size_t i = 0; i < Count; ++i) {
      const auto b = static_cast<std::uint8_t>(i);
      std::uint32_t written = 0;
      ASSERT_TRUE(device->Write(&b, 1, written));
      ASSERT_EQ(written, 1u);
    }
    ASSERT_EQ(pty.Read(Count, kDeadlineMs).size(), Count);
  }

  // The events already due, without waiting for more: a signalled wake ends the wait once
  // it has looked.
  std::uint32_t EventsDue() {
    platform::WakeEvent wake;
    wake.Signal();
    std::uint32_t events = 99;
    EXPECT_TRUE(device->WaitCommEvent(events, wake.Native()));
    return events;
  }

  platform::PseudoTerminal pty;
  std::shared_ptr<platform::SerialDevice> device;
};

TEST_F(TransmitterEmpty, ABurstOfCharactersIsReportedOnceTheLineWouldHaveSentThem) {
  struct Case {
    std::uint8_t parity, stop;
    int bits;  // per character, start and stop bits included
  };
  for (const Case c : {Case{NOPARITY, ONESTOPBIT, 10}, Case{NOPARITY, TWOSTOPBITS, 11}}) {
    SCOPED_TRACE(c.bits);
    SetLine(1200, c.parity, c.stop);
    ASSERT_TRUE(device->SetCommMask(EV_TXEMPTY));
    constexpr int kCount = 12;
    const auto start = Clock::now();
    SendSingly(kCount);
    std::uint32_t events = 0;
    ASSERT_TRUE(device->WaitCommEvent(events, -1));
    EXPECT_EQ(events, EV_TXEMPTY);
    EXPECT_GE(Clock::now() - start,
              kCount * std::chrono::nanoseconds(c.bits * 1'000'000'000ll / 1200));
    EXPECT_EQ(EventsDue(), 0u) << "the burst is reported once";
  }
}

TEST_F(TransmitterEmpty, WritesLeaveAWaitWithoutItInTheMaskAlone) {
  SetLine(115200, NOPARITY, ONESTOPBIT);
  ASSERT_TRUE(device->SetCommMask(EV_RXCHAR));
  auto waiting = std::async(std::launch::async, [&] {
    std::uint32_t e = 0;
    const bool ok = device->WaitCommEvent(e, -1);
    return std::make_pair(ok, e);
  });
  SendSingly(32);
  EXPECT_EQ(waiting.wait_for(20ms), std::future_status::timeout);
  ASSERT_TRUE(pty.Write({'x'}));
  ASSERT_EQ(waiting.wait_for(std::chrono::milliseconds(kDeadlineMs)), std::future_status::ready);
  EXPECT_EQ(waiting.get(), std::make_pair(true, static_cast<std::uint32_t>(EV_RXCHAR)));
}

TEST_F(TransmitterEmpty, AMaskThatGainsItReportsTheNextDrain) {
  SetLine(115200, NOPARITY, ONESTOPBIT);
  ASSERT_TRUE(device->SetCommMask(EV_RXCHAR));
  SendSingly(8);
  ASSERT_TRUE(device->SetCommMask(EV_RXCHAR | EV_TXEMPTY));
  SendSingly(1);
  std::uint32_t events = 0;
  ASSERT_TRUE(device->WaitCommEvent(events, -1));
  EXPECT_EQ(events, EV_TXEMPTY);
}

// A wait that knew of a send already sleeps on the transmitter clock and is not woken by each
// further byte; one that found bytes still queued for the line sleeps until they drain, and
// that drain must wake it all the same.
TEST_F(TransmitterEmpty, AWaitThatFoundOutputStillQueuedIsWokenByItsDrain) {
  SetLine(4000000, NOPARITY, ONESTOPBIT);
  ASSERT_TRUE(device->SetCommMask(EV_TXEMPTY));
  SendSingly(1);                        // a drain the wait below learns of first
  const Bytes block(256 * 1024, 0x55);  // more than the terminal takes at once
  ASSERT_TRUE(device->WriteAsync(block.data(), static_cast<std::uint32_t>(block.size())));
  auto waiting = std::async(std::launch::async, [&] {
    std::uint32_t e = 0;
    const bool ok = device->WaitCommEvent(e, -1);
    return std::make_pair(ok, e);
  });
  EXPECT_EQ(waiting.wait_for(50ms), std::future_status::timeout);
  ASSERT_EQ(pty.Read(block.size(), kDeadlineMs).size(), block.size());
  ASSERT_EQ(waiting.wait_for(std::chrono::milliseconds(kDeadlineMs)), std::future_status::ready);
  EXPECT_EQ(waiting.get(), std::make_pair(true, static_cast<std::uint32_t>(EV_TXEMPTY)));
}

}  // namespace
