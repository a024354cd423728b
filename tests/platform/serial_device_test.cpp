// The termios serial device on real pseudo-terminals; the test holds the master end.
#include "serialkit/platform/serial_device.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <future>
#include <numeric>
#include <thread>

#include "serialkit/platform/system_error.h"
#include "serialkit/platform/wake_event.h"
#include "serialkit/testing/pseudo_terminal.h"
#include "support/eventually.h"
#include "support/scratch_dir.h"

namespace {

using namespace sk;
using sk::platform::OpenSerialDevice;
using sk::platform::PseudoTerminal;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

constexpr int kDeadlineMs = 10000;

class PtyDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    device = OpenSerialDevice(pty.SlavePath());
    ASSERT_TRUE(device) << platform::SystemErrorText(platform::LastError());
  }

  DCB Line(std::uint32_t baud, std::uint8_t stop = TWOSTOPBITS, std::uint32_t flags = 0x1011) {
    DCB d;
    EXPECT_TRUE(device->GetCommState(d));
    d.BaudRate = baud;
    d.ByteSize = 8;
    d.Parity = NOPARITY;
    d.StopBits = stop;
    SetDcbFlags(d, flags);
    d.EvtChar = '\n';
    return d;
  }

  // Waits until the device reports Count bytes waiting.
  bool WaitForInput(std::uint32_t Count) {
    COMSTAT s{};
    testsupport::Eventually(
        [&] { return !device->ClearCommError(nullptr, &s) || s.cbInQue >= Count; },
        std::chrono::milliseconds(kDeadlineMs));
    return s.cbInQue == Count;
  }

  PseudoTerminal pty;
  std::shared_ptr<platform::SerialDevice> device;
};

TEST_F(PtyDevice, SecondOpenerIsRefusedEvenWithAdministrativeRights) {
  EXPECT_FALSE(OpenSerialDevice(pty.SlavePath()));
  EXPECT_EQ(platform::LastError(), static_cast<std::uint32_t>(EBUSY));
  device->Close();
  auto again = OpenSerialDevice(pty.SlavePath());
  EXPECT_TRUE(again) << platform::SystemErrorText(platform::LastError());
}

TEST(SerialDeviceOpen, MissingPathAndNonTerminalFailWithTheirSystemErrors) {
  testsupport::ScratchDir dir;
  EXPECT_FALSE(OpenSerialDevice(dir / "no-such-tty"));
  EXPECT_EQ(platform::SystemErrorText(platform::LastError()), "No such file or directory");
  dir.WriteFile("plain", "x");
  EXPECT_FALSE(OpenSerialDevice(dir / "plain"));
  EXPECT_EQ(platform::LastError(), static_cast<std::uint32_t>(ENOTTY));
}

// The process may open only Spare descriptors more than it holds now, until destroyed.
class NoMoreDescriptors {
 public:
  explicit NoMoreDescriptors(int Spare) {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    // The lowest free descriptor is where the next one would go.
    const int lowest = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ::close(lowest);
    rlimit tight = saved_;
    tight.rlim_cur = static_cast<rlim_t>(lowest) + Spare;
    ::setrlimit(RLIMIT_NOFILE, &tight);
  }
  ~NoMoreDescriptors() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
  NoMoreDescriptors(const NoMoreDescriptors&) = delete;
  NoMoreDescriptors& operator=(const NoMoreDescriptors&) = delete;

 private:
  rlimit saved_{};
};

std::size_t OpenDescriptors() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

// Out of descriptors: what fails says why, as the system does, and holds on to nothing.
TEST(SerialDeviceOpen, RunningOutOfDescriptorsFailsWithTheSystemsReasonAndLeaksNone) {
#if defined(__SANITIZE_ADDRESS__)
  // The undefined-behaviour checker that goes with it tests an object's type through a pipe of
  // its own; with no descriptor left it takes every exception's type for a fault.
  GTEST_SKIP() << "the sanitizer's runtime needs descriptors of its own";
#endif
  PseudoTerminal pty;
  const std::size_t before = OpenDescriptors();
  {
    // Room for the terminal itself but not for the device's wake events.
    NoMoreDescriptors limit(1);
    EXPECT_FALSE(OpenSerialDevice(pty.SlavePath()));
    EXPECT_EQ(platform::LastError(), static_cast<std::uint32_t>(EMFILE));
  }
  EXPECT_EQ(OpenDescriptors(), before);

  auto device = OpenSerialDevice(pty.SlavePath());
  ASSERT_TRUE(device);
  Bytes buf(2);
  std::uint32_t n = 0;
  {
    // A read that has to wait needs a wake-up of its own.
    NoMoreDescriptors limit(0);
    EXPECT_FALSE(device->Read(buf.data(), 2, n));
    EXPECT_EQ(platform::LastError(), static_cast<std::uint32_t>(EMFILE));
  }
  ASSERT_TRUE(pty.Write({1, 2}));
  EXPECT_TRUE(device->Read(buf.data(), 2, n));
  EXPECT_EQ(buf, (Bytes{1, 2}));
}

TEST_F(PtyDevice, LineSettingsAreWhatTheTerminalReportsAfterwards) {
  for (std::uint32_t baud : {230400u, 921600u}) {
    ASSERT_TRUE(device->SetCommState(Line(baud)));
    termios t{};
    ASSERT_EQ(::tcgetattr(static_cast<int>(device->Native()), &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), baud == 230400u ? B230400 : B921600);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(t.c_cflag & PARENB, 0u);
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
  }
  // A rate without a termios constant goes through termios2 and reads back exactly.
  ASSERT_TRUE(device->SetCommState(Line(128000, ONESTOPBIT)));
  DCB back;
  ASSERT_TRUE(device->GetCommState(back));
  EXPECT_EQ(back.BaudRate, 128000u);
  EXPECT_EQ(back.StopBits, ONESTOPBIT);
}

TEST_F(PtyDevice, RefusedSettingsLeaveTheLineAsItWas) {
  ASSERT_TRUE(device->SetCommState(Line(230400)));
  DCB bad = Line(921600);
  bad.ByteSize = 4;
  EXPECT_FALSE(device->SetCommState(bad));
  EXPECT_EQ(platform::LastError(), static_cast<std::uint32_t>(EINVAL));
  DCB now;
  ASSERT_TRUE(device->GetCommState(now));
  EXPECT_EQ(now.BaudRate, 230400u);
  EXPECT_EQ(now.ByteSize, 8);
}

TEST_F(PtyDevice, WaitedAndUnwaitedWritesLeaveInCallOrderWithBuffersReusedAtOnce) {
  // Far more than the terminal buffers, so that writes queue up behind each other.
  constexpr int kBlocks = 96;
  constexpr std::size_t kBlock = 1024;
  Bytes expected;
  auto reader =
      std::async(std::launch::async, [&] { return pty.Read(kBlocks * (kBlock + 3), kDeadlineMs); });
  Bytes block(kBlock);
  for (int i = 0; i < kBlocks; ++i) {
    const std::uint8_t head[3] = {0xA1, static_cast<std::uint8_t>(i), 0x55};
    for (std::uint8_t b : head) {
      std::uint32_t written = 0;
      ASSERT_TRUE(device->Write(&b, 1, written));
      EXPECT_EQ(written, 1u);
      expected.push_back(b);
    }
    for (std::size_t k = 0; k < kBlock; ++k) block[k] = static_cast<std::uint8_t>(i * 7 + k);
    ASSERT_TRUE(device->WriteAsync(block.data(), kBlock));
    expected.insert(expected.end(), block.begin(), block.end());
    std::fill(block.begin(), block.end(), 0xEE);  // the caller's buffer is its own again
  }
  EXPECT_EQ(reader.get(), expected);
}

TEST_F(PtyDevice, ByteSentAheadOvertakesQueuedOutput) {
  Bytes data(64 * 1024);
  std::iota(data.begin(), data.end(), 0);
  for (auto& b : data) b = static_cast<std::uint8_t>(b % 251);  // never the marker 0xFF
  ASSERT_TRUE(device->WriteAsync(data.data(), static_cast<std::uint32_t>(data.size())));
  ASSERT_TRUE(device->TransmitCommChar(0xFF));
  const Bytes got = pty.Read(data.size() + 1, kDeadlineMs);
  ASSERT_EQ(got.size(), data.size() + 1);
  const auto marker = std::find(got.begin(), got.end(), 0xFF);
  ASSERT_NE(marker, got.end());
  EXPECT_LT(marker - got.begin(), static_cast<std::ptrdiff_t>(data.size()));
  Bytes rest(got.begin(), marker);
  rest.insert(rest.end(), marker + 1, got.end());
  EXPECT_EQ(rest, data);
}

TEST_F(PtyDevice, QueuedOutputIsCountedAndPurgingTheOutputDropsIt) {
  const Bytes data(256 * 1024, 0x11);
  ASSERT_TRUE(device->WriteAsync(data.data(), static_cast<std::uint32_t>(data.size())));
  COMSTAT s;
  ASSERT_TRUE(device->ClearCommError(nullptr, &s));
  EXPECT_GT(s.cbOutQue, 0u);  // nobody reads the other end: most of it is still queued
  ASSERT_TRUE(device->PurgeComm(PURGE_TXABORT | PURGE_TXCLEAR));
  const std::uint8_t after = 0x22;
  std::uint32_t written = 0;
  ASSERT_TRUE(device->Write(&after, 1, written));
  const Bytes got = pty.Read(data.size() + 1, 200);
  ASSERT_FALSE(got.empty());
  EXPECT_LT(got.size(), data.size());
  EXPECT_EQ(got.back(), 0x22);  // what comes after the purge still goes out
}

TEST_F(PtyDevice, PurgingInputDiscardsWhatWasWaitingButNotWhatComesLater) {
  ASSERT_TRUE(pty.Write({'s', 't', 'a', 'l', 'e'}));
  ASSERT_TRUE(WaitForInput(5));
  ASSERT_TRUE(device->PurgeComm(PURGE_RXABORT | PURGE_RXCLEAR));
  COMSTAT s;
  ASSERT_TRUE(device->ClearCommError(nullptr, &s));
  EXPECT_EQ(s.cbInQue, 0u);
  ASSERT_TRUE(pty.Write({'n', 'e', 'w'}));
  Bytes got(3);
  std::uint32_t n = 0;
  ASSERT_TRUE(device->Read(got.data(), 3, n));
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(got, (Bytes{'n', 'e', 'w'}));
}

TEST_F(PtyDevice, ReadAvailableTakesWhatIsThereInOrderAndNeverWaitsForAStaleCount) {
  // Some bytes in the device's own buffer (taken by the event wait), more still in the driver.
  ASSERT_TRUE(device->SetCommMask(EV_RXCHAR));
  ASSERT_TRUE(pty.Write({1, 2, 3}));
  std::uint32_t events = 0;
  ASSERT_TRUE(device->WaitCommEvent(events, -1));
  ASSERT_EQ(events, static_cast<std::uint32_t>(EV_RXCHAR));
  ASSERT_TRUE(pty.Write({4, 5}));
  ASSERT_TRUE(WaitForInput(5));
  Bytes got(64);
  std::uint32_t n = 0;
  ASSERT_TRUE(device->ReadAvailable(got.data(), 64, n));
  got.resize(n);
  EXPECT_EQ(got, (Bytes{1, 2, 3, 4, 5}));

  // Measured, then purged: with no time-outs a read of the measured count would wait for new
  // bytes; this one ends with none.
  ASSERT_TRUE(pty.Write({6, 7, 8}));
  ASSERT_TRUE(WaitForInput(3));
  ASSERT_TRUE(device->PurgeComm(PURGE_RXABORT | PURGE_RXCLEAR));
  got.assign(3, 0);
  ASSERT_TRUE(device->ReadAvailable(got.data(), 3, n));
  EXPECT_EQ(n, 0u);
  ASSERT_TRUE(pty.Write({9}));
  ASSERT_TRUE(WaitForInput(1));
  ASSERT_TRUE(device->ReadAvailable(got.data(), 3, n));
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(got[0], 9);

  device->Close();
  EXPECT_FALSE(device->ReadAvailable(got.data(), 3, n));
}

TEST_F(PtyDevice, InputWatchedByAReaderIsLeftToItUntilHandedBack) {
  ASSERT_TRUE(device->SetCommMask(EV_RXCHAR));
  platform::WakeEvent stop;
  device->WatchInput(true);
  auto wait = std::async(std::launch::async, [&] {
    std::uint32_t events = 0;
    const bool ok = device->WaitCommEvent(events, stop.Native());
    return std::make_pair(ok, events);
  });
  ASSERT_TRUE(pty.Write({1, 2}));
  // The event wait does not take them: the watcher reads them itself.
  ASSERT_TRUE(WaitForInput(2));
  Bytes got(2);
  std::uint32_t n = 0;
  ASSERT_TRUE(device->ReadAvailable(got.data(), 2, n));
  EXPECT_EQ(n, 2u);
  ASSERT_TRUE(pty.Write({3}));
  ASSERT_TRUE(WaitForInput(1));
  // Still asleep with input waiting (a wait that looked would have ended at once).
  EXPECT_EQ(wait.wait_for(50ms), std::future_status::timeout);
  // Handed back, the input wakes the event wait that slept without it.
  device->WatchInput(false);
  const auto [ok, events] = wait.get();
  EXPECT_TRUE(ok);
  EXPECT_EQ(events, static_cast<std::uint32_t>(EV_RXCHAR));
}

TEST_F(PtyDevice, ReadWaitsForAllBytesWithoutTimeoutsAndReturnsWhatCameWithThem) {
  auto read = std::async(std::launch::async, [&] {
    Bytes buf(6);
    std::uint32_t n = 0;
    const bool ok = device->Read(buf.data(), 6, n);
    buf.resize(n);
    return std::make_pair(ok, buf);
  });
  ASSERT_TRUE(pty.Write({1, 2, 3}));
  ASSERT_TRUE(pty.Write({4, 5, 6}));
  const auto [ok, got] = read.get();
  EXPECT_TRUE(ok);
  EXPECT_EQ(got, (Bytes{1, 2, 3, 4, 5, 6}));

  COMMTIMEOUTS t;
  t.ReadTotalTimeoutConstant = 20;
  ASSERT_TRUE(device->SetCommTimeouts(t));
  ASSERT_TRUE(pty.Write({7, 8}));
  ASSERT_TRUE(WaitForInput(2));
  Bytes buf(10);
  std::uint32_t n = 0;
  EXPECT_TRUE(device->Read(buf.data(), 10, n));  // a time-out is no failure
  EXPECT_EQ(n, 2u);
}

TEST_F(PtyDevice, PurgeAndCloseEndPendingReadsWithAnError) {
  auto read = [&] {
    Bytes buf(4);
    std::uint32_t n = 0;
    const bool ok = device->Read(buf.data(), 4, n);
    return std::make_pair(ok, platform::LastError());
  };
  auto purged = std::async(std::launch::async, read);
  // The read may not have started waiting yet: purge until it has ended.
  while (purged.wait_for(1ms) != std::future_status::ready)
    ASSERT_TRUE(device->PurgeComm(PURGE_RXABORT));
  EXPECT_EQ(purged.get(), std::make_pair(false, static_cast<std::uint32_t>(ECANCELED)));

  auto closed = std::async(std::launch::async, read);
  device->Close();
  EXPECT_FALSE(closed.get().first);
  std::uint32_t written = 0;
  const std::uint8_t b = 1;
  EXPECT_FALSE(device->Write(&b, 1, written));
  EXPECT_EQ(platform::LastError(), static_cast<std::uint32_t>(EBADF));
}

TEST_F(PtyDevice, EventWaitReportsEachArrivalOnceAndTheEventCharacter) {
  ASSERT_TRUE(device->SetCommState(Line(115200)));  // event character '\n'
  ASSERT_TRUE(device->SetCommMask(EV_RXCHAR | EV_RXFLAG));
  platform::WakeEvent wake;
  std::uint32_t events = 0;
  ASSERT_TRUE(pty.Write({'a', 'b'}));
  ASSERT_TRUE(device->WaitCommEvent(events, wake.Native()));
  EXPECT_EQ(events, EV_RXCHAR);
  ASSERT_TRUE(pty.Write({'c', '\n'}));
  ASSERT_TRUE(device->WaitCommEvent(events, wake.Native()));
  EXPECT_EQ(events, EV_RXCHAR | EV_RXFLAG);

  // Nothing new: the wait goes on until the caller's wake-up ends it.
  auto waiting = std::async(std::launch::async, [&] {
    std::uint32_t e = 99;
    const bool ok = device->WaitCommEvent(e, wake.Native());
    return std::make_pair(ok, e);
  });
  EXPECT_EQ(waiting.wait_for(20ms), std::future_status::timeout);
  wake.Signal();
  EXPECT_EQ(waiting.get(), std::make_pair(true, 0u));

  COMSTAT s;
  ASSERT_TRUE(device->ClearCommError(nullptr, &s));
  EXPECT_EQ(s.cbInQue, 4u);
  Bytes got(4);
  std::uint32_t n = 0;
  ASSERT_TRUE(device->Read(got.data(), 4, n));
  EXPECT_EQ(got, (Bytes{'a', 'b', 'c', '\n'}));
}

TEST_F(PtyDevice, ChangingTheMaskEndsAPendingWaitWithoutEvents) {
  ASSERT_TRUE(device->SetCommMask(EV_RXCHAR));
  auto waiting = std::async(std::launch::async, [&] {
    std::uint32_t e = 99;
    const bool ok = device->WaitCommEvent(e, -1);
    return std::make_pair(ok, e);
  });
  while (waiting.wait_for(1ms) != std::future_status::ready)
    ASSERT_TRUE(device->SetCommMask(EV_RXCHAR | EV_TXEMPTY));
  EXPECT_EQ(waiting.get(), std::make_pair(true, 0u));
}

TEST_F(PtyDevice, TransmitterEmptyIsReportedAfterAWriteHasDrained) {
  ASSERT_TRUE(device->SetCommMask(EV_TXEMPTY));
  const Bytes data(300, 0x42);
  ASSERT_TRUE(device->WriteAsync(data.data(), 300));
  EXPECT_EQ(pty.Read(300, kDeadlineMs), data);
  std::uint32_t events = 0;
  ASSERT_TRUE(device->WaitCommEvent(events, -1));
  EXPECT_EQ(events, EV_TXEMPTY);
}

TEST_F(PtyDevice, ALostConnectionFailsWaitsAndWrites) {
  ASSERT_TRUE(device->SetCommMask(EV_RXCHAR));
  pty.CloseMaster();
  std::uint32_t events = 0;
  EXPECT_FALSE(device->WaitCommEvent(events, -1));
  std::uint32_t written = 0;
  const std::uint8_t b = 7;
  EXPECT_FALSE(device->Write(&b, 1, written));
  EXPECT_EQ(platform::LastError(), static_cast<std::uint32_t>(EIO));
}

}  // namespace
