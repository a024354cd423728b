// The loader's components as every front end sets them up, and how answers and a lost line
// reach the loader, on a real pseudo-terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "boot/boot_components.h"
#include "boot/comm_loader_port.h"
#include "boot/loader_hookup.h"
#include "loader/firmware_loader.h"
#include "loader/state_names.h"
#include "serialkit/testing/pseudo_terminal.h"
#include "support/eventually.h"

namespace bootshell::boot {
namespace {

using namespace std::chrono_literals;

// The loader is not run here; it only takes answers.
class IdleWindow : public loader::LoaderHost, public loader::LoaderEvents {
 public:
  int LinkKind() const override { return 0; }
  void ProcessMessages() override {}
  void ProcessMessagesWaiting(std::uint32_t) override {}
  void WakeUp() override {}
};

// What the port's worker hands over, for the test thread to wait on.
struct Seen {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::string> lines;
  std::vector<std::int32_t> tagsBeforeStore;
  int losses = 0;

  template <class Pred>
  bool WaitUntil(Pred Done) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, 20s, Done);
  }
};

std::vector<std::uint8_t> Bytes(const std::string& S) {
  return {S.begin(), S.end()};
}

class Hookup : public ::testing::Test {
 protected:
  LoaderHookup::AnswerHandler Recording() {
    return [this](std::int32_t, const std::function<void()>& StoreTag, std::string Line) {
      const std::int32_t before = loader_.LastAnswerTag();
      StoreTag();
      std::lock_guard lock(seen_.mutex);
      seen_.tagsBeforeStore.push_back(before);
      seen_.lines.push_back(std::move(Line));
      seen_.changed.notify_all();
    };
  }
  std::function<void()> CountingLosses() {
    return [this] {
      std::lock_guard lock(seen_.mutex);
      ++seen_.losses;
      seen_.changed.notify_all();
    };
  }
  int Losses() {
    std::lock_guard lock(seen_.mutex);
    return seen_.losses;
  }

  sk::platform::PseudoTerminal device_;
  BootComponents parts_{device_.SlavePath()};
  CommLoaderPort port_{parts_.Comm()};
  IdleWindow window_;
  loader::FirmwareLoader loader_{port_, window_, window_};
  Seen seen_;
};

TEST_F(Hookup, AnswerTagReachesTheLoaderBeforeItsLineWithMarkersReplacedWhateverTheirCase) {
  LoaderHookup hookup(parts_, loader_, Recording());
  parts_.Comm().SetActive(true);
  ASSERT_TRUE(device_.Write(Bytes("answerB3 at ANSWERB3 answerE3answerBInfoready answerEInfo")));
  ASSERT_TRUE(seen_.WaitUntil([&] { return seen_.lines.size() == 2; }));
  EXPECT_EQ(seen_.lines[0], "< at < >");
  EXPECT_EQ(seen_.lines[1], "<ready >");
  // The handler ran before StoreTag: the loader had not seen the answer yet.
  EXPECT_EQ(seen_.tagsBeforeStore, (std::vector<std::int32_t>{0, 3}));
  EXPECT_EQ(loader_.LastAnswerTag(), 1000);
}

TEST_F(Hookup, WithoutAnAnswerHandlerOnlyTheTagIsStored) {
  LoaderHookup hookup(parts_, loader_);
  parts_.Comm().SetActive(true);
  ASSERT_TRUE(device_.Write(Bytes("answerB2doneanswerE2")));
  // No handler to wait on: the processor's report of the packet is the tag itself.
  testsupport::Eventually([&] { return loader_.LastAnswerTag() == 2; }, 20s);
  EXPECT_EQ(loader_.LastAnswerTag(), 2);
}

TEST_F(Hookup, PortClosingByItselfIsALossButAClosingAskedForIsNot) {
  {
    LoaderHookup hookup(parts_, loader_, {}, CountingLosses());
    parts_.Comm().SetActive(true);
    hookup.ExpectClose();
    parts_.Comm().SetActive(false);
    EXPECT_EQ(Losses(), 0);
    EXPECT_FALSE(hookup.Lost());
  }
#ifdef _WIN32
  GTEST_SKIP() << "the linked ports that stand in for a pseudo-terminal there keep the line up "
                  "when one end closes";
#endif
  LoaderHookup hookup(parts_, loader_, {}, CountingLosses());
  parts_.Comm().SetActive(true);
  device_.CloseMaster();
  ASSERT_TRUE(seen_.WaitUntil([&] { return seen_.losses > 0; }));
  EXPECT_TRUE(hookup.Lost());
  EXPECT_EQ(Losses(), 1) << "the first hookup withdrew from the port when it ended";
}

TEST(BootComponents, PortIsNamedAsTheOperatorWritesIt) {
  EXPECT_EQ(BootComponents().Comm().ComPortNo(), 3);
  EXPECT_EQ(BootComponents("com12").Comm().ComPortNo(), 12);
  EXPECT_EQ(BootComponents("/dev/ttyUSB4").Comm().ComName(), "/dev/ttyUSB4");
  EXPECT_THROW(BootComponents("ttyUSB4"), std::invalid_argument);
}

TEST(BootComponents, PortAndProcessorHaveTheWindowsSettings) {
  BootComponents parts;
  sk::TskComm& comm = parts.Comm();
  EXPECT_EQ(comm.BaudRate(), 128000u);
  EXPECT_EQ(comm.StopBits(), sk::sbTwo);
  EXPECT_EQ(comm.BufferInSize(), 8192);
  EXPECT_FALSE(comm.UseMainThread());
  EXPECT_EQ(comm.DataProcessor(), &parts.Processor());
  EXPECT_EQ(parts.Log(), nullptr);
  // The device's answers as its boot loader frames them, written out here rather than taken
  // from the table the components are built from.
  const struct {
    const char* begin;
    const char* end;
    std::int32_t tag;
  } answers[] = {{"answerB0", "answerE0", 0}, {"answerB1", "answerE1", 1},
                 {"answerB2", "answerE2", 2}, {"answerB3", "answerE3", 3},
                 {"answerB4", "answerE4", 4}, {"answerB5", "answerE5", 5},
                 {"answerB6", "answerE6", 6}, {"answerBInfo", "answerEInfo", 1000}};
  const auto& packets = parts.Processor().DataPackets();
  ASSERT_EQ(packets.Count(), 8);
  for (std::int32_t i = 0; i < 8; ++i) {
    const auto& answer = answers[i];
    const sk::TskDataPacket& p = packets.Items(i);
    EXPECT_EQ(p.Tag(), answer.tag);
    EXPECT_EQ(sk::ToText(p.PacketBegin()), answer.begin);
    EXPECT_EQ(sk::ToText(p.PacketEnd()), answer.end);
    EXPECT_TRUE(p.Active()) << i;
    EXPECT_FALSE(p.ResetOthers()) << i;
    EXPECT_EQ(p.PacketLength(), 0) << i;
    EXPECT_FALSE(p.PacketEndByTimeout()) << i;
    EXPECT_EQ(p.WildChar(), 0) << i;
  }
}

TEST(LoaderStateNames, EveryStateHasItsNameAndOtherNumbersHaveNone) {
  using namespace loader;
  EXPECT_EQ(LoaderStateText(142), "142 (lsWaitAddressAnswer)");
  EXPECT_EQ(LoaderStateText(1000), "1000 (lsIdle)");
  for (std::int32_t unused : {0, 145, 147, 997})
    EXPECT_STREQ(LoaderStateName(unused), "no step") << unused;
}

}  // namespace
}  // namespace bootshell::boot
