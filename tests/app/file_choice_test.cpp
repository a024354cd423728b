// Choosing the image file: "Send" follows whether a file exists at the path in the file line
// after every use of the dialog, and only then.
#include <QFileDialog>
#include <QLineEdit>

#include "form_fixture.h"

namespace apptest {
namespace {

class FileChoice : public FormTest {
 protected:
  // The dialog answers with Answer (nothing: cancelled) and records its default suffix.
  void DialogAnswers(std::optional<QString> Answer) {
    form_->SetDialogRunner([this, Answer](QFileDialog& Dialog) {
      suffixes_.push_back(Dialog.defaultSuffix());
      return Answer;
    });
  }
  bool SendEnabled() { return Find("BitBtn2")->isEnabled(); }
  QLineEdit* Edit1() { return Find<QLineEdit>("Edit1"); }

  QStringList suffixes_;
};

TEST_F(FileChoice, CancellingWithTheFirstTextLeavesSendDisabled) {
  DialogAnswers(std::nullopt);
  Click("BitBtn1");
  EXPECT_EQ(Edit1()->text(), QLatin1String("Select file...."));
  EXPECT_FALSE(SendEnabled());
}

TEST_F(FileChoice, SendFollowsTheFileAtThePathAfterEveryChoice) {
  const QString image =
      QString::fromStdString(scratch_.WriteFile("a.brox", std::string(4096, 'x')));
  const QString missing = QString::fromStdString(scratch_ / "missing.brox");
  const QString folder = QString::fromStdString(scratch_.Path().string());
  struct Case {
    std::optional<QString> answer;
    QString editAfter;
    bool sendAfter;
  };
  const Case cases[] = {
      {image, image, true},      {std::nullopt, image, true},  // cancelled: the file is still there
      {missing, missing, false},  // the dialog lets a file be named that does not exist
      {folder, folder, false},    // a folder is no file
      {image, image, true},
  };
  for (const Case& c : cases) {
    DialogAnswers(c.answer);
    Click("BitBtn1");
    EXPECT_EQ(Edit1()->text(), c.editAfter);
    EXPECT_EQ(SendEnabled(), c.sendAfter) << c.editAfter.toStdString();
  }
  EXPECT_EQ(suffixes_, QStringList(5, QStringLiteral("brox")));
}

TEST_F(FileChoice, TypingAPathAloneChangesNothingUntilTheDialogIsUsed) {
  const QString image =
      QString::fromStdString(scratch_.WriteFile("b.brox", std::string(4096, 'x')));
  Edit1()->clear();
  QTest::keyClicks(Edit1(), image);
  EXPECT_EQ(Edit1()->text(), image);
  EXPECT_FALSE(SendEnabled());
  DialogAnswers(std::nullopt);
  Click("BitBtn1");
  EXPECT_TRUE(SendEnabled());
  // The file goes away: the next choice disables "Send" again.
  std::filesystem::remove(image.toStdString());
  Click("BitBtn1");
  EXPECT_FALSE(SendEnabled());
}

TEST_F(FileChoice, DefaultSuffixIsGivenAgainBeforeEveryUse) {
  Find<QFileDialog>("OD2")->setDefaultSuffix(QStringLiteral("bin"));
  DialogAnswers(std::nullopt);
  Click("BitBtn1");
  EXPECT_EQ(suffixes_, QStringList{QStringLiteral("brox")});
}

}  // namespace
}  // namespace apptest
