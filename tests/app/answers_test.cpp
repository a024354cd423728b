// The answer handler: the tag reaches the loader at once, and the answer's text, markers
// replaced without regard to case, becomes the log's new last line on the GUI thread.
#include <filesystem>

#include "form_fixture.h"
#include "serialkit/testing/pseudo_terminal.h"

namespace apptest {
namespace {

class Answers : public FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    // The window's COM3 is the slave end of a pseudo-terminal that the test plays the device on.
    std::filesystem::create_directories(scratch_.Path() / "ports");
    std::filesystem::create_symlink(device_.SlavePath(), scratch_.Path() / "ports" / "com3");
    form_->Components().Comm().SetActive(true);
    ASSERT_TRUE(form_->Components().Comm().Active());
  }
  void TearDown() override {
    form_->Components().Comm().SetActive(false);
    FormTest::TearDown();
  }
  void Device(const std::string& Bytes) {
    ASSERT_TRUE(device_.Write(std::vector<std::uint8_t>(Bytes.begin(), Bytes.end())));
  }
  bool WaitForLines(int Count) {
    return WaitFor([&] { return MemoLines().size() >= Count; });
  }

  sk::platform::PseudoTerminal device_;
};

TEST_F(Answers, EachAnswerBecomesOneLineWithItsMarkersReplacedWhateverTheirCase) {
  struct Case {
    std::string bytes;
    const char* line;
    std::int32_t tag;
  };
  const Case cases[] = {
      {"answerBInfoZR48 boot loader 1.2answerEInfo", "<ZR48 boot loader 1.2>", 1000},
      {"answerB3 addr ANSWERb3 again answerE3", "< addr < again >", 3},
      {"answerB1 fail: AnswerE1 in text answerE1", "< fail: > in text >", 1},
      {"noise answerB2ok\xe9"
       "answerE2",
       "<ok\u00e9>", 2},  // Latin-1 bytes read as such
  };
  int lines = 1;
  for (const Case& c : cases) {
    Device(c.bytes);
    ASSERT_TRUE(WaitForLines(++lines)) << c.line;
    EXPECT_EQ(MemoLines().back(), QString::fromUtf8(c.line));
    EXPECT_EQ(form_->Loader().LastAnswerTag(), c.tag) << c.line;
  }
  EXPECT_EQ(MemoLines().front(), QLatin1String("Log"));
  EXPECT_EQ(MemoLines().size(), 5) << "one line per answer, none twice";
}

TEST_F(Answers, InfoAnswerChangesNothingButTheLog) {
  Device("answerBInfohelloanswerEInfo");
  ASSERT_TRUE(WaitForLines(2));
  EXPECT_EQ(MemoLines(), (QStringList{QStringLiteral("Log"), QStringLiteral("<hello>")}));
  EXPECT_EQ(form_->Loader().LoaderState(), 0);
  EXPECT_TRUE(Find("PageControl1")->isHidden());
  EXPECT_EQ(Find<QProgressBar>("ProgressBar1")->value(), 0);
  for (int i = 0; i < 7; ++i) EXPECT_TRUE(Panel(i).isEmpty()) << i;
}

}  // namespace
}  // namespace apptest
