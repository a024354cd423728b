// Whole transfers through the window against the device simulator on a pseudo-terminal: the
// operator connects, waits for the page, picks the file, sends, watches the progress and
// presses "Exit", while the test checks what the window shows and what reached the flash.
#include <QComboBox>
#include <QFileDialog>
#include <QProgressBar>

#include <fstream>
#include <iterator>
#include <random>

#include "cipher/memory_stream.h"
#include "cipher/rc6.h"
#include "form_fixture.h"
#include "loader/firmware_key.h"
#include "loader/firmware_loader.h"
#include "support/sim_process.h"

namespace apptest {
namespace {

using namespace bootshell::loader;
using Bytes = std::vector<std::uint8_t>;

class Transfer : public FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    StartSim({});
  }
  void StartSim(std::vector<std::string> Args) {
    sim_.reset();
    Args.insert(Args.end(),
                {"--port", "3", "--flash-out", scratch_ / "flash.bin", "--frame-log", "/dev/null"});
    sim_ = std::make_unique<testsupport::SimProcess>(Args);
  }
  void TearDown() override {
    sim_.reset();
    FormTest::TearDown();
  }

  // An encrypted image of Size random bytes; the plain bytes stay in plain_.
  std::string MakeImage(std::size_t Size, const std::string& Name = "image.brox") {
    plain_.resize(Size);
    std::mt19937 rng(7);
    for (auto& b : plain_) b = static_cast<std::uint8_t>(rng());
    bootshell::cipher::MemoryStream image(sk::ByteString(plain_.begin(), plain_.end()));
    bootshell::cipher::RC6EncryptStream(image, sk::ToBytes(bootshell::FirmwareKey), image.Size());
    return scratch_.WriteFile(Name, std::string(image.Data().begin(), image.Data().end()));
  }
  // The flash the image must leave: the first 1024 bytes of every sent 2048-byte chunk at
  // its own offset, unwritten bytes 0xFF.
  Bytes ExpectedFlash() const {
    const std::int64_t size = static_cast<std::int64_t>(plain_.size());
    Bytes flash;
    for (std::int64_t p = 0; p == 0 || p < size - 2048; p += 2048) {
      flash.resize(static_cast<std::size_t>(p), 0xFF);
      flash.insert(flash.end(), plain_.begin() + p, plain_.begin() + p + 1024);
    }
    return flash;
  }
  Bytes Flash() {
    sim_->Terminate();  // it writes its flash as it ends
    std::ifstream in(scratch_ / "flash.bin", std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  void ChooseFile(const std::string& Path) {
    form_->SetDialogRunner([Path](QFileDialog&) { return QString::fromStdString(Path); });
    Click("BitBtn1");
  }
  bool State(std::int32_t S) const { return form_->Loader().LoaderState() == S; }
  bool PageShown() const { return Find("PageControl1")->isVisible(); }

  std::unique_ptr<testsupport::SimProcess> sim_;
  Bytes plain_;
};

TEST_F(Transfer, ImageGoesThroughTheWindowIntoTheFlash) {
  const std::string image = MakeImage(10240);
  auto* progress = Find<QProgressBar>("ProgressBar1");
  std::vector<int> positions;
  QObject::connect(progress, &QProgressBar::valueChanged, [&](int v) { positions.push_back(v); });
  QStringList logBeforeExit;
  Operator op(*form_, {
                          [&] { return PageShown() && State(lsIdle); },
                          [&] {
                            EXPECT_TRUE(Find("Image1")->isVisible());
                            EXPECT_FALSE(Panel(2).isEmpty()) << "ms to the handshake answer";
                            ChooseFile(image);
                            EXPECT_TRUE(Find("BitBtn2")->isEnabled());
                            Click("BitBtn2");
                            return true;
                          },
                          // The answers' lines come with the window's next paint.
                          [&] {
                            return State(lsIdle) && Panel(1).startsWith("File ") &&
                                   MemoLines().size() >= 1 + 1 + 2 * 4;
                          },
                          [&] {
                            logBeforeExit = MemoLines();
                            Click("Button2");
                            return true;
                          },
                      });
  Click("Button8");
  ASSERT_TRUE(op.Finished()) << "stopped after step " << op.StepsDone();
  EXPECT_EQ(form_->LoopsRunning(), 0);
  EXPECT_EQ(Panel(1), QLatin1String("File image.brox written"));
  EXPECT_EQ(progress->maximum(), 8192);
  EXPECT_EQ(progress->value(), 8192);
  EXPECT_EQ(positions, (std::vector<int>{2048, 4096, 6144, 8192}));
  EXPECT_EQ(Panel(4), QLatin1String("1000"));
  // The loop's end shows where it stopped: the panels show what the loader put there.
  auto* bar = Find<bootshell::app::StatusBar>("StatusBar1");
  for (int i = 0; i < bar->PanelCount(); ++i) EXPECT_EQ(bar->Panel(i)->text(), Panel(i)) << i;
  EXPECT_TRUE(Errors().empty());
  // "Exit" closed the port and left the window as it was.
  EXPECT_FALSE(form_->Components().Comm().Active());
  EXPECT_TRUE(PageShown());
  EXPECT_TRUE(Find("Image1")->isVisible());
  EXPECT_EQ(MemoLines(), logBeforeExit);
  // Handshake, then an address and a data answer per cycle, each on a line of its own.
  EXPECT_GE(MemoLines().size(), 1 + 1 + 2 * 4);
  for (const QString& line : MemoLines().mid(1))
    EXPECT_TRUE(line.startsWith('<')) << line.toStdString();
  EXPECT_EQ(Flash(), ExpectedFlash());
}

TEST_F(Transfer, ConnectAgainAtOnceGreetsTheDeviceAgain) {
  for (int run = 0; run < 2; ++run) {
    int linesAtStart = MemoLines().size();
    Operator op(*form_, {
                            [&] { return State(lsIdle) && MemoLines().size() > linesAtStart; },
                            [&] {
                              Click("Button2");
                              return true;
                            },
                        });
    Click("Button8");
    ASSERT_TRUE(op.Finished()) << "run " << run << " stopped after step " << op.StepsDone();
    EXPECT_FALSE(form_->Components().Comm().Active());
  }
  EXPECT_TRUE(Errors().empty());
}

TEST_F(Transfer, ConnectInsideARunningLoopStartsAnotherWhichOneExitEnds) {
  Operator op(*form_, {
                          [&] { return State(lsIdle); },
                          [&] {
                            Click("Button8");  // returns when the inner loop has ended
                            return true;
                          },
                      });
  // The inner loop's operator: once it runs, wait for its handshake, then "Exit".
  bool innerSeen = false;
  Operator inner(*form_, {
                             [&] { return form_->LoopsRunning() == 2; },
                             [&] {
                               innerSeen = true;
                               return State(lsIdle);
                             },
                             [&] {
                               Click("Button2");
                               return true;
                             },
                         });
  Click("Button8");
  EXPECT_TRUE(op.Finished());
  EXPECT_TRUE(inner.Finished());
  EXPECT_TRUE(innerSeen);
  EXPECT_EQ(form_->LoopsRunning(), 0);
  EXPECT_FALSE(form_->Components().Comm().Active());
}

TEST_F(Transfer, ClosingTheWindowDuringTheLoopTakesEffectWhenTheLoopHasEnded) {
  bool visibleAfterClose = false;
  Operator op(*form_, {
                          [&] { return State(lsIdle); },
                          [&] {
                            form_->close();
                            visibleAfterClose = form_->isVisible();
                            return true;
                          },
                          [&] {
                            Click("Button2");
                            return true;
                          },
                      });
  Click("Button8");
  ASSERT_TRUE(op.Finished());
  EXPECT_TRUE(visibleAfterClose) << "the close waited for the loop";
  EXPECT_TRUE(WaitFor([&] { return !form_->isVisible(); })) << "and then took effect";
  EXPECT_FALSE(form_->Components().Comm().Active());
}

TEST_F(Transfer, LineLostMidTransferShowsAtOnceInPanel3AndTheLog) {
  StartSim({"--hangup-after", "4"});  // handshake, address, data, address
  const std::string image = MakeImage(10240);
  Operator op(*form_, {
                          [&] { return State(lsIdle); },
                          [&] {
                            EXPECT_TRUE(Panel(3).isEmpty());
                            ChooseFile(image);
                            Click("BitBtn2");
                            return true;
                          },
                          [&] { return Panel(3) == QLatin1String("Connection lost"); },
                          [&] {
                            Click("Button2");
                            return true;
                          },
                      });
  Click("Button8");
  ASSERT_TRUE(op.Finished()) << "stopped after step " << op.StepsDone();
  EXPECT_EQ(MemoLines().back(), QLatin1String("Connection lost"));
  EXPECT_EQ(Panel(1), QLatin1String("Loading file image.brox to Flash..."));
  EXPECT_TRUE(Errors().empty());
}

TEST_F(Transfer, PickingThePortAlreadyChosenLeavesTheOpenPortAlone) {
  std::vector<std::int32_t> codes;
  auto& comm = form_->Components().Comm();
  const auto recorder = sk::TskNotifyEvent::Bind(
      &codes, [&](sk::TObject*, std::int32_t Code) { codes.push_back(Code); });
  auto* box = Find<QComboBox>("skDeviceBox1");
  Operator op(*form_, {
                          [&] { return State(lsIdle); },
                          [&] {
                            comm.NotifyAdd(recorder);
                            Q_EMIT box->activated(box->currentIndex());  // the operator's pick
                            return true;
                          },
                          [&] {
                            Click("Button2");
                            return true;
                          },
                      });
  Click("Button8");
  comm.NotifyDelete(recorder);
  ASSERT_TRUE(op.Finished());
  EXPECT_EQ(codes, (std::vector<std::int32_t>{sk::ncPortClosed})) << "only Exit's close";
  EXPECT_TRUE(Panel(3).isEmpty());
}

TEST_F(Transfer, ImageTooShortEndsTheLoopInTheErrorReportAndTheWindowStaysUsable) {
  const std::string image = MakeImage(1000, "short.brox");
  Operator op(*form_, {
                          [&] { return State(lsIdle); },
                          [&] {
                            ChooseFile(image);
                            Click("BitBtn2");
                            return true;
                          },
                      });
  Click("Button8");
  ASSERT_TRUE(op.Finished());
  EXPECT_EQ(form_->LoopsRunning(), 0);
  ASSERT_EQ(Errors().size(), 1u);
  EXPECT_NE(Errors()[0].find("too short"), std::string::npos) << Errors()[0];
  EXPECT_TRUE(form_->isVisible());
  EXPECT_TRUE(Find("Button8")->isEnabled());
}

}  // namespace
}  // namespace apptest
