// The main window as it opens: every control by name, in its place at 96 dpi, with its first
// text and state, and the file dialog as the window sets it up.
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include <filesystem>
#include <memory>

#include "form_fixture.h"
#include "serialkit/testing/pseudo_terminal.h"
#include "serialkit/widgets/device_box.h"

namespace apptest {
namespace {

using bootshell::app::StatusBar;

TEST_F(FormTest, ControlsSitWhereTheTableOfTheWindowPutsThemAt96Dpi) {
  ASSERT_EQ(form_->Scale(), 1.0) << "the offscreen screen is a 96-dpi screen";
  EXPECT_EQ(form_->size(), QSize(688, 471));
  struct Place {
    const char* name;
    const char* parent;
    QRect rect;
  };
  const Place places[] = {
      {"Panel1", "Form3", {0, 0, 153, 430}},         {"skDeviceBox1", "Panel1", {11, 16, 128, 21}},
      {"Button8", "Panel1", {11, 47, 128, 25}},      {"Button2", "Panel1", {11, 78, 128, 25}},
      {"Image1", "Panel1", {11, 150, 128, 128}},     {"RadioGroup1", "Panel1", {11, 269, 128, 105}},
      {"PageControl1", "Form3", {153, 0, 535, 430}}, {"Edit1", "TabSheet2", {8, 16, 425, 21}},
      {"BitBtn1", "TabSheet2", {439, 14, 35, 25}},   {"BitBtn2", "TabSheet2", {480, 14, 43, 25}},
      {"Memo1", "TabSheet2", {3, 45, 520, 338}},     {"ProgressBar1", "Form3", {0, 430, 688, 22}},
      {"StatusBar1", "Form3", {0, 452, 688, 19}},
  };
  for (const Place& p : places) {
    QWidget* control = Find(p.name);
    ASSERT_TRUE(control);
    EXPECT_EQ(control->parentWidget()->objectName(), QLatin1String(p.parent)) << p.name;
    EXPECT_EQ(control->geometry(), p.rect) << p.name;
  }
  // The log lies wholly on its page.
  EXPECT_TRUE(Find("TabSheet2")->rect().contains(Find("Memo1")->geometry())) << "page too small";

  auto* bar = Find<StatusBar>("StatusBar1");
  ASSERT_EQ(bar->PanelCount(), 7);
  const int widths[] = {100, 200, 50, 50, 100, 100, 50};
  int left = 0;
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(bar->Panel(i)->geometry(), QRect(left, 0, widths[i], 19)) << "panel " << i;
    left += widths[i];
  }
}

TEST_F(FormTest, WindowOpensWithItsFirstTextsAndOnlyTheLeftPanelAndBarsShown) {
  EXPECT_EQ(form_->windowTitle(), QLatin1String(" Boot Mode Shell for ZR48"));
  // The start writes nothing to disk: not even the port map folder its watcher watches for.
  EXPECT_FALSE(std::filesystem::exists(scratch_ / "ports"));
  EXPECT_EQ(form_->font().pixelSize(), 11);
  EXPECT_EQ(Find<QPushButton>("Button8")->text(), QLatin1String("Connect"));
  EXPECT_EQ(Find<QPushButton>("Button2")->text(), QLatin1String("Exit"));
  EXPECT_EQ(Find<QPushButton>("BitBtn1")->text(), QLatin1String("..."));
  EXPECT_EQ(Find<QPushButton>("BitBtn2")->text(), QLatin1String("Send"));
  EXPECT_FALSE(Find("BitBtn2")->isEnabled());
  EXPECT_EQ(Find<QLineEdit>("Edit1")->text(), QLatin1String("Select file...."));
  EXPECT_FALSE(Find<QLineEdit>("Edit1")->isReadOnly());
  EXPECT_EQ(MemoLines(), QStringList{QStringLiteral("Log")});
  EXPECT_TRUE(Find("Image1")->isHidden());
  EXPECT_TRUE(Find("PageControl1")->isHidden());
  EXPECT_TRUE(Find("Panel1")->isVisible());
  EXPECT_TRUE(Find("ProgressBar1")->isVisible());
  EXPECT_TRUE(Find("StatusBar1")->isVisible());
  EXPECT_EQ(Find<QProgressBar>("ProgressBar1")->value(), 0);
  for (int i = 0; i < 7; ++i) EXPECT_TRUE(Panel(i).isEmpty()) << i;

  auto* pages = Find<QTabWidget>("PageControl1");
  ASSERT_EQ(pages->count(), 1);
  EXPECT_EQ(pages->widget(0), Find("TabSheet2"));
  EXPECT_EQ(pages->tabText(0), QLatin1String("Boot mode"));

  EXPECT_TRUE(Find<QGroupBox>("RadioGroup1")->title().isEmpty());
  const auto items = Find("RadioGroup1")->findChildren<QRadioButton*>();
  ASSERT_EQ(items.size(), 3);
  EXPECT_EQ(items[0]->text(), QLatin1String("UART"));
  EXPECT_EQ(items[1]->text(), QLatin1String("Bluetooth"));
  EXPECT_EQ(items[2]->text(), QLatin1String("WiFi"));
  EXPECT_EQ(form_->LinkKind(), 0);
  QTest::mouseClick(items[1], Qt::LeftButton);
  EXPECT_EQ(form_->LinkKind(), 1);

  // skComm1 starts on COM3 with no log.
  EXPECT_EQ(form_->Components().Comm().ComPortNo(), 3);
  EXPECT_FALSE(form_->Components().Comm().Active());
  EXPECT_EQ(form_->Components().Log(), nullptr);
}

TEST_F(FormTest, FileDialogAsksForFirmwareThatNeedNotExist) {
  auto* od2 = Find<QFileDialog>("OD2");
  ASSERT_TRUE(od2);
  EXPECT_EQ(od2->windowTitle(), QLatin1String("Select firmware ..."));
  EXPECT_EQ(od2->nameFilters(), QStringList{QStringLiteral("firmware compressed (*.brox)")});
  EXPECT_TRUE(od2->testOption(QFileDialog::HideNameFilterDetails)) << "shown as its name alone";
  EXPECT_EQ(od2->defaultSuffix(), QLatin1String("brox"));
  EXPECT_EQ(od2->fileMode(), QFileDialog::AnyFile);
  EXPECT_EQ(od2->acceptMode(), QFileDialog::AcceptOpen);
  EXPECT_TRUE(od2->isSizeGripEnabled());
  EXPECT_FALSE(od2->testOption(QFileDialog::ReadOnly));
}

TEST_F(FormTest, PortChooserShowsThePortsAndSelectsCom3WhichPickingChanges) {
  std::vector<std::unique_ptr<sk::platform::PseudoTerminal>> ttys;
  std::filesystem::create_directories(scratch_.Path() / "ports");
  for (int n : {1, 3, 5}) {
    ttys.push_back(std::make_unique<sk::platform::PseudoTerminal>());
    std::filesystem::create_symlink(ttys.back()->SlavePath(),
                                    scratch_.Path() / "ports" / ("com" + std::to_string(n)));
  }
  form_ = std::make_unique<bootshell::app::TForm3>();  // binds while it is created
  auto* box = Find<sk::widgets::TskDeviceBox>("skDeviceBox1");
  ASSERT_TRUE(box);
  EXPECT_EQ(box->skComm(), &form_->Components().Comm());
  EXPECT_FALSE(box->ResetOnChanged());
  EXPECT_EQ(box->count(), 3);
  EXPECT_EQ(box->currentIndex(), 1);
  QTest::keyClick(box, Qt::Key_Down);
  EXPECT_EQ(form_->Components().Comm().ComPortNo(), 5);
  EXPECT_EQ(box->currentIndex(), 2);
}

TEST_F(FormTest, PortChooserFollowsAPortAddedAndRemovedWhileTheWindowIsOpen) {
  auto* box = Find<sk::widgets::TskDeviceBox>("skDeviceBox1");
  ASSERT_TRUE(box);
  const auto lists = [box](const char* Name) {
    for (int i = 0; i < box->count(); ++i)
      if (box->itemText(i).startsWith(QLatin1String(Name))) return true;
    return false;
  };
  ASSERT_FALSE(lists("COM9"));
  sk::platform::PseudoTerminal tty;
  const auto entry = scratch_.Path() / "ports" / "com9";
  std::filesystem::create_directories(entry.parent_path());
  std::filesystem::create_symlink(tty.SlavePath(), entry);
  EXPECT_TRUE(WaitFor([&] { return lists("COM9"); }));
  std::filesystem::remove(entry);
  EXPECT_TRUE(WaitFor([&] { return !lists("COM9"); }));
}

}  // namespace
}  // namespace apptest
