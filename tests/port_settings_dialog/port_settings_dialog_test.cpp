// The Qt port settings dialog: what it shows from the record, what a confirmed dialog hands
// to the port component, and that a cancelled one changes nothing.
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>

#include "port_config/port_config_fixtures.h"
#include "serialkit/platform/config_dialog.h"
#include "serialkit/widgets/port_settings_dialog.h"

namespace sktest {
namespace {

using sk::widgets::PortSettingsDialog;

class DialogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // No display is needed: the offscreen platform renders into memory.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "test_port_settings_dialog";
    static char* argv[] = {name, nullptr};
    app_ = new QApplication(argc, argv);
  }
  static void TearDownTestSuite() {
    delete app_;
    app_ = nullptr;
  }
  void SetUp() override { sk::widgets::InstallPortSettingsDialog(); }
  void TearDown() override { sk::platform::SetConfigDialogHook(nullptr); }

  // Runs Act on the modal dialog as soon as it shows; Act ends by accepting or rejecting it.
  static void WhenShown(std::function<void(PortSettingsDialog&)> Act) {
    QTimer::singleShot(0, [Act = std::move(Act)] {
      auto* dialog = qobject_cast<PortSettingsDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) {
        ADD_FAILURE() << "no port settings dialog showing";
        return;
      }
      Act(*dialog);
    });
  }

  static QComboBox* Box(QWidget& Dialog, const char* Name) {
    auto* box = Dialog.findChild<QComboBox*>(QString::fromLatin1(Name));
    EXPECT_NE(box, nullptr) << Name;
    return box;
  }
  static void Choose(QWidget& Dialog, const char* Name, const QString& Text) {
    QComboBox* box = Box(Dialog, Name);
    const int i = box->findText(Text);
    ASSERT_GE(i, 0) << Name << " has no " << Text.toStdString();
    box->setCurrentIndex(i);
  }
  static void Click(QWidget& Dialog, QDialogButtonBox::StandardButton Which) {
    auto* buttons = Dialog.findChild<QDialogButtonBox*>(QStringLiteral("Buttons"));
    ASSERT_NE(buttons, nullptr);
    QTest::mouseClick(buttons->button(Which), Qt::LeftButton);
  }

  static QApplication* app_;
};

QApplication* DialogTest::app_ = nullptr;

sk::COMMCONFIG Record(std::uint32_t Baud, std::uint8_t Bits, std::uint8_t Parity, std::uint8_t Stop,
                      std::uint32_t Flags) {
  sk::COMMCONFIG c;
  c.dwSize = sk::kCommConfigSize;
  c.dcb.DCBlength = sk::kDcbLength;
  c.dcb.BaudRate = Baud;
  c.dcb.ByteSize = Bits;
  c.dcb.Parity = Parity;
  c.dcb.StopBits = Stop;
  SetDcbFlags(c.dcb, Flags);
  return c;
}

TEST_F(DialogTest, ShowsTheValuesOfTheRecord) {
  struct Case {
    sk::COMMCONFIG record;
    const char *baud, *bits, *parity, *stop, *flow;
  };
  const Case cases[] = {
      {Record(19200, 8, sk::NOPARITY, sk::ONESTOPBIT, 0x2015), "19200", "8", "None", "1",
       "Hardware (RTS/CTS)"},
      {Record(57600, 7, sk::ODDPARITY, sk::ONE5STOPBITS, 0x1311), "57600", "7", "Odd", "1.5",
       "Software (XON/XOFF)"},
      {Record(250000, 5, sk::SPACEPARITY, sk::TWOSTOPBITS, 0x1011), "250000", "5", "Space", "2",
       "None"},
      // A size the list does not offer is shown, not replaced.
      {Record(110, 4, sk::MARKPARITY, sk::ONESTOPBIT, 0x0000), "110", "4", "Mark", "1", "None"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.baud);
    PortSettingsDialog dialog(QStringLiteral("COM4"), c.record);
    EXPECT_TRUE(dialog.windowTitle().contains(QStringLiteral("COM4")));
    EXPECT_EQ(Box(dialog, "BaudRate")->currentText().toStdString(), c.baud);
    EXPECT_EQ(Box(dialog, "DataBits")->currentText().toStdString(), c.bits);
    EXPECT_EQ(Box(dialog, "Parity")->currentText().toStdString(), c.parity);
    EXPECT_EQ(Box(dialog, "StopBits")->currentText().toStdString(), c.stop);
    EXPECT_EQ(Box(dialog, "FlowControl")->currentText().toStdString(), c.flow);
    // Confirmed untouched, the record comes back as it went in.
    const sk::COMMCONFIG back = dialog.Config();
    EXPECT_EQ(std::memcmp(&back.dcb, &c.record.dcb, sizeof(sk::DCB)), 0);
  }
  if (const char* dir = std::getenv("SK_SCREENSHOT_DIR")) {
    PortSettingsDialog dialog(QStringLiteral("COM3"), cases[1].record);
    dialog.show();
    dialog.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/port_settings_dialog.png"));
  }
}

TEST_F(DialogTest, OnlyPositiveRatesCanBeConfirmed) {
  PortSettingsDialog dialog(QStringLiteral("COM1"), Record(9600, 8, 0, 0, 0x1011));
  QLineEdit* edit = Box(dialog, "BaudRate")->lineEdit();
  ASSERT_NE(edit, nullptr);
  auto* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
  struct Case {
    const char* typed;
    bool acceptable;
  };
  for (const Case c : {Case{"", false}, Case{"0", false}, Case{"1", true}, Case{"31250", true},
                       Case{"4294967295", true}, Case{"4294967296", false}, Case{"12a", true}}) {
    SCOPED_TRACE(c.typed);
    edit->clear();
    QTest::keyClicks(edit, QString::fromLatin1(c.typed));
    EXPECT_EQ(ok->isEnabled(), c.acceptable);
  }
  // The validator took only the digits of "12a".
  EXPECT_EQ(edit->text().toStdString(), "12");
}

TEST_F(DialogTest, ConfirmedValuesReachTheComponentAndTheOpenPort) {
  FakeComm com;
  com.SetComPortNo(5);
  com.SetActive(true);
  QString title;
  WhenShown([&](PortSettingsDialog& d) {
    title = d.windowTitle();
    QLineEdit* edit = Box(d, "BaudRate")->lineEdit();
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("250000"));
    Choose(d, "DataBits", QStringLiteral("7"));
    Choose(d, "Parity", QStringLiteral("Even"));
    Choose(d, "StopBits", QStringLiteral("2"));
    Choose(d, "FlowControl", QStringLiteral("Software (XON/XOFF)"));
    Click(d, QDialogButtonBox::Ok);
  });
  com.ConfigDialog();
  EXPECT_TRUE(title.contains(QStringLiteral("COM5")));
  EXPECT_EQ(com.BaudRate(), 250000u);
  EXPECT_EQ(com.ByteSize(), 7);
  EXPECT_EQ(com.Parity(), sk::pEven);
  EXPECT_EQ(com.StopBits(), sk::sbTwo);
  EXPECT_EQ(com.StreamProtocol(), sk::spXonXoff);
  const sk::DCB port = com.Last()->State();
  EXPECT_EQ(port.BaudRate, 250000u);
  EXPECT_EQ(port.ByteSize, 7);
  EXPECT_EQ(port.Parity, sk::EVENPARITY);
  EXPECT_EQ(port.StopBits, sk::TWOSTOPBITS);
  EXPECT_EQ(DcbFlags(port) & 0x1311u, 0x1311u);
}

TEST_F(DialogTest, ConfirmedOnAClosedPortTheSettingsWaitForTheOpen) {
  FakeComm com;
  WhenShown([&](PortSettingsDialog& d) {
    Choose(d, "BaudRate", QStringLiteral("921600"));
    Choose(d, "FlowControl", QStringLiteral("None"));
    Click(d, QDialogButtonBox::Ok);
  });
  com.ConfigDialog();
  EXPECT_EQ(com.BaudRate(), 921600u);
  EXPECT_EQ(com.StreamProtocol(), sk::spNone);
  com.SetActive(true);
  EXPECT_EQ(com.Last()->State().BaudRate, 921600u);
}

TEST_F(DialogTest, SettingsTheDialogCannotShowSurviveAConfirmation) {
  FakeComm com;
  com.SetRS485Mode(true);
  WhenShown([&](PortSettingsDialog& d) {
    Choose(d, "Parity", QStringLiteral("Odd"));
    Click(d, QDialogButtonBox::Ok);
  });
  com.ConfigDialog();
  EXPECT_EQ(com.Parity(), sk::pOdd);
  EXPECT_TRUE(com.RS485Mode());
}

TEST_F(DialogTest, CancelChangesNothing) {
  FakeComm com;
  com.SetBaudRate(38400);
  com.SetActive(true);
  const sk::DCB before = com.CommConfig().dcb;
  const int writes = com.Last()->Calls(sk::platform::FakeSerialDevice::Op::SetCommState);
  WhenShown([&](PortSettingsDialog& d) {
    Choose(d, "BaudRate", QStringLiteral("1200"));
    Choose(d, "Parity", QStringLiteral("Mark"));
    Click(d, QDialogButtonBox::Cancel);
  });
  com.ConfigDialog();
  EXPECT_EQ(std::memcmp(&com.CommConfig().dcb, &before, sizeof before), 0);
  EXPECT_EQ(com.Last()->Calls(sk::platform::FakeSerialDevice::Op::SetCommState), writes);
  EXPECT_EQ(com.Last()->State().BaudRate, 38400u);
}

}  // namespace
}  // namespace sktest
