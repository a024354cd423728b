// Writing images: which bytes go where, what the panels and the progress bar show, and how
// answers, "Send", "Exit" and bad files steer a transfer.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <cerrno>
#include <cstring>

#include "support/foreign_lock.h"
#else
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include "loader/boot_protocol.h"
#include "loader/chunk_rule.h"
#include "loader/frames.h"
#include "loader_rig.h"

namespace {

using namespace bootshell::loader;
using namespace bootshell::protocol;
using rig::Frame;

class LoaderTransfer : public ::testing::Test {
 protected:
  // Connects, sends Path once the handshake is answered, and exits when the image is written
  // (or when Stop says so).
  void Transfer(const std::string& path) {
    r.window.When([&] { return r.loader.LoaderState() == lsIdle; }, [&] { r.loader.Send(path); });
    // Exit one turn after the image is written, so that panel 4 shows the idle state.
    r.window.When([&] { return r.window.Panel(1).starts_with("File "); },
                  [&] { r.window.After(1, [&] { r.loader.Stop(); }); });
    r.loader.Connect();
    ASSERT_FALSE(r.window.ranAway);
  }
  std::vector<Frame> Addresses() const { return r.FramesOf(cmdAddress); }
  std::vector<Frame> Blocks() const { return r.FramesOf(cmdData); }

  rig::LoaderRig r;
};

TEST_F(LoaderTransfer, TenKilobyteImageTakesFourCycles) {
  sk::ByteString plain = rig::RandomBytes(10240, 1);
  Transfer(r.WriteImage("image.brox", plain));

  std::vector<Frame> addresses = Addresses(), blocks = Blocks();
  ASSERT_EQ(addresses.size(), 4u);
  ASSERT_EQ(blocks.size(), 4u);
  const std::uint32_t expected[] = {0x08002000, 0x08002800, 0x08003000, 0x08003800};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(addresses[i].Address(), expected[i]);
    EXPECT_EQ(addresses[i].sum, Sum8(addresses[i].payload));
    const auto from = plain.begin() + std::ptrdiff_t(2048 * i);
    EXPECT_EQ(blocks[i].payload, sk::ByteString(from, from + 1024)) << "cycle " << i;
    EXPECT_EQ(blocks[i].length, 1024);
    EXPECT_EQ(blocks[i].sum, Sum8(blocks[i].payload));
    EXPECT_TRUE(addresses[i].inOneCall);
    EXPECT_TRUE(blocks[i].inOneCall);
    EXPECT_TRUE(addresses[i].purgedBefore);
    EXPECT_TRUE(blocks[i].purgedBefore);
  }
  EXPECT_EQ(r.window.PanelChanges(2), (std::vector<std::string>{r.window.PanelChanges(2).front(),
                                                                "1024", "3072", "5120", "7168"}));
  EXPECT_EQ(r.window.progressMin, 0);
  EXPECT_EQ(r.window.progressMax, 8192);
  EXPECT_EQ(r.window.progressPositions, (std::vector<int>{0, 2048, 4096, 6144, 8192}));
  EXPECT_EQ(
      r.window.PanelChanges(1),
      (std::vector<std::string>{"Loading file image.brox to Flash...", "File image.brox written"}));
  EXPECT_EQ(r.loader.LoaderState(), lsIdle);
  EXPECT_TRUE(r.window.errors.empty());
}

TEST_F(LoaderTransfer, OneChunkImageSendsItsFirstHalfOnce) {
  sk::ByteString plain = rig::RandomBytes(2048, 2);
  Transfer(r.WriteImage("one.brox", plain));
  ASSERT_EQ(Blocks().size(), 1u);
  EXPECT_EQ(Blocks()[0].payload, sk::ByteString(plain.begin(), plain.begin() + 1024));
  EXPECT_EQ(r.window.progressMax, 0);
  EXPECT_EQ(r.window.progressPositions.back(), 0);
  auto states = r.window.PanelChanges(4);
  ASSERT_GE(states.size(), 7u);
  EXPECT_EQ(std::vector<std::string>(states.end() - 7, states.end()),
            (std::vector<std::string>{"140", "141", "142", "143", "144", "146", "1000"}));
}

TEST_F(LoaderTransfer, TwoChunkImageStillTakesOneCycle) {
  Transfer(r.WriteImage("two.brox", rig::RandomBytes(4096, 3)));
  EXPECT_EQ(Blocks().size(), 1u);
  EXPECT_EQ(r.window.progressMax, 2048);
}

TEST_F(LoaderTransfer, EverySizeFollowsTheChunkRule) {
  for (std::size_t size : {2049, 4095, 4097, 6143, 6144, 8193, 20000}) {
    rig::LoaderRig fresh;
    sk::ByteString plain = rig::RandomBytes(size, unsigned(size));
    std::string path = fresh.WriteImage("image.brox", plain);
    fresh.window.When([&] { return fresh.loader.LoaderState() == lsIdle; },
                      [&] { fresh.loader.Send(path); });
    fresh.window.When([&] { return fresh.window.Panel(1).starts_with("File "); },
                      [&] { fresh.loader.Stop(); });
    fresh.loader.Connect();
    auto blocks = fresh.FramesOf(cmdData);
    ASSERT_EQ(std::int64_t(blocks.size()), CycleCount(std::int64_t(size))) << size;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
      ASSERT_TRUE(ChunkIsSent(std::int64_t(2048 * i), std::int64_t(size)));
      EXPECT_TRUE(std::equal(blocks[i].payload.begin(), blocks[i].payload.end(),
                             plain.begin() + std::ptrdiff_t(2048 * i)))
          << size << " cycle " << i;
    }
    EXPECT_EQ(fresh.window.progressPositions.back(), fresh.window.progressMax) << size;
  }
}

TEST_F(LoaderTransfer, FlashAddressCarriesIntoTheHighHalf) {
  Transfer(r.WriteImage("big.brox", rig::RandomBytes(65536, 4)));
  auto addresses = Addresses();
  ASSERT_EQ(addresses.size(), 31u);
  // Chunks 27 and 28 sit at 0x0800F800 and 0x08010000.
  EXPECT_EQ(addresses[27].payload, (sk::ByteString{0x00, 0xF8, 0x00, 0x08}));
  EXPECT_EQ(addresses[27].sum, 0x00);
  EXPECT_EQ(addresses[28].payload, (sk::ByteString{0x00, 0x00, 0x01, 0x08}));
  EXPECT_EQ(addresses[28].sum, 0x09);
  for (std::size_t i = 0; i < addresses.size(); ++i)
    EXPECT_EQ(addresses[i].Address(), 0x08002000u + 2048 * i);
}

TEST_F(LoaderTransfer, AnswerWithAnotherTagLeavesTheWaitAsItIs) {
  // The device wrongly acknowledges the address with tag 2 and says it right 1 s later.
  r.Answer([&](const Frame& f) -> std::optional<std::int32_t> {
    if (f.command != cmdAddress) return rig::Cooperative(f);
    r.window.After(1000, [&] { r.loader.AnswerArrived(tagAddressAccepted); });
    return tagDataWritten;
  });
  Transfer(r.WriteImage("image.brox", rig::RandomBytes(2048, 5)));
  ASSERT_EQ(Blocks().size(), 1u);
  EXPECT_GE(Blocks()[0].at - Addresses()[0].at, 1000u);
  EXPECT_EQ(r.loader.LoaderState(), lsIdle);
}

TEST_F(LoaderTransfer, SendWhileWaitingForABlockAnswerRestartsFromTheBase) {
  sk::ByteString plain = rig::RandomBytes(10240, 6);
  std::string path = r.WriteImage("image.brox", plain);
  // Answers everything but the second data frame; from then on it answers nothing at all.
  bool mute = false;
  r.Answer([&](const Frame& f) -> std::optional<std::int32_t> {
    if (mute) return std::nullopt;
    if (f.command == cmdData && Blocks().size() == 2) {
      mute = true;
      r.window.After(500, [&] { r.loader.Send(path); });
      return std::nullopt;
    }
    return rig::Cooperative(f);
  });
  r.window.When([&] { return r.loader.LoaderState() == lsIdle; }, [&] { r.loader.Send(path); });
  r.window.When([&] { return Blocks().size() == 3; }, [&] { r.loader.Stop(); });
  r.loader.Connect();

  auto addresses = Addresses();
  ASSERT_EQ(addresses.size(), 3u);
  EXPECT_EQ(addresses[2].Address(), FlashBaseAddress);
  // The last answer was the 3 of the second cycle: the restarted cycle passes at once.
  auto blocks = Blocks();
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[2].payload, sk::ByteString(plain.begin(), plain.begin() + 1024));
  EXPECT_EQ(blocks[2].at, addresses[2].at);
  EXPECT_EQ(r.loader.LastAnswerTag(), tagAddressAccepted);
}

TEST_F(LoaderTransfer, ExitWhileWaitingEndsTheLoopAndClosesThePort) {
  r.Answer([&](const Frame& f) -> std::optional<std::int32_t> {
    if (f.command == cmdAddress) {
      r.window.After(250, [&] { r.loader.Stop(); });
      return std::nullopt;
    }
    return rig::Cooperative(f);
  });
  Transfer(r.WriteImage("image.brox", rig::RandomBytes(4096, 7)));
  EXPECT_TRUE(Blocks().empty());
  EXPECT_EQ(r.loader.LoaderState(), lsWaitAddressAnswer);
  EXPECT_TRUE(r.loader.StopRequested());
  EXPECT_EQ(r.port.trace.back(), "close");
  EXPECT_FALSE(r.port.active);
  EXPECT_TRUE(r.window.pageShown);
}

TEST_F(LoaderTransfer, MissingFileWaitsInLoadStateUntilItAppears) {
  std::string path = r.dir + "/later.brox";
  sk::ByteString plain = rig::RandomBytes(2048, 8);
  r.window.When([&] { return r.loader.LoaderState() == lsIdle; }, [&] { r.loader.Send(path); });
  r.window.When([&] { return r.loader.LoaderState() == lsLoadImage; },
                [&] { r.window.After(2000, [&] { r.WriteImage("later.brox", plain); }); });
  r.window.When([&] { return r.window.Panel(1).starts_with("File "); }, [&] { r.loader.Stop(); });
  int purgesBefore = 0;
  r.window.When([&] { return r.loader.LoaderState() == lsLoadImage; },
                [&] { purgesBefore = r.port.purges; });
  r.loader.Connect();
  ASSERT_EQ(Blocks().size(), 1u);
  EXPECT_TRUE(r.window.errors.empty());
  // Purged on every look at the missing file, but not in a spin: about one look per 100 ms.
  int looks = r.port.purges - purgesBefore - 3;  // less the found file, 141 and 143
  EXPECT_GE(looks, 15);
  EXPECT_LE(looks, 25);
}

TEST_F(LoaderTransfer, ShortImageEndsTheLoopWithAMessageNamingIt) {
  std::string path = r.WriteImage("short.brox", rig::RandomBytes(2047, 9));
  Transfer(path);
  ASSERT_EQ(r.window.errors.size(), 1u);
  EXPECT_NE(r.window.errors[0].find("\"" + path + "\""), std::string::npos) << r.window.errors[0];
  EXPECT_NE(r.window.errors[0].find("too short: 2047 bytes"), std::string::npos);
  EXPECT_TRUE(Addresses().empty());
  EXPECT_EQ(r.loader.LoaderState(), lsLoadImage);
  EXPECT_EQ(r.port.trace.back(), "close");
  EXPECT_EQ(r.window.progressMax, -1);  // the range was never set
}

TEST_F(LoaderTransfer, UnreadableImageEndsTheLoopWithTheSystemReason) {
#ifdef _WIN32
  // A file that another handle holds without sharing cannot be opened, whoever asks.
  std::string path = r.WriteImage("locked.brox", rig::RandomBytes(4096, 9));
  testsupport::ForeignLock lock(path, LOCK_EX);
  const std::string reason = std::strerror(EACCES);  // the C runtime's reason for a share violation
  Transfer(path);
#else
  // A socket is there as a name but cannot be opened as a file, even by root.
  std::string path = r.dir + "/socket.brox";
  int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(s, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof(addr.sun_path));
  std::copy(path.begin(), path.end(), addr.sun_path);
  ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
  const std::string reason = "No such device or address";
  Transfer(path);
  ::close(s);
#endif
  ASSERT_EQ(r.window.errors.size(), 1u);
  EXPECT_NE(r.window.errors[0].find("\"" + path + "\": " + reason), std::string::npos)
      << r.window.errors[0];
  EXPECT_TRUE(Addresses().empty());
  EXPECT_FALSE(r.port.active);
}

}  // namespace
