// bootshell-window-demo: the window's own transfer, unattended. It opens the main window,
// presses "Connect", picks IMAGE once the device has answered, presses "Send", presses "Exit"
// when the image is written, and saves a picture of the window. For demos and screenshots
// where nobody sits at the window (the offscreen platform works).
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <optional>

#include "app/form3.h"
#include "boot/state_names.h"
#include "loader/firmware_loader.h"

namespace {

constexpr int kDeadlineMs = 120000;

QPushButton* Button(bootshell::app::TForm3& Form, const char* Name) {
  return Form.findChild<QPushButton*>(QString::fromLatin1(Name));
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QStringList args = QApplication::arguments();
  if (args.size() < 3 || args.size() > 4) {
    std::fprintf(stderr, "usage: bootshell-window-demo IMAGE PICTURE.png [0|1|2 (link kind)]\n");
    return 2;
  }
  const QString image = args[1], picture = args[2];
  bootshell::app::TForm3 form;
  if (args.size() == 4) {
    const int kind = args[3].toInt();
    if (auto* item = form.findChild<QWidget*>(QStringLiteral("RadioGroup1"))
                         ->findChildren<QAbstractButton*>()
                         .value(kind))
      item->click();
  }
  form.SetDialogRunner([image](QFileDialog&) { return std::optional<QString>(image); });
  form.show();

  using namespace bootshell::loader;
  enum { WaitHandshake, WaitWritten, Done } phase = WaitHandshake;
  bool timedOut = false;
  QElapsedTimer clock;
  clock.start();
  QTimer operatorHands;
  QObject::connect(&operatorHands, &QTimer::timeout, [&] {
    const std::int32_t state = form.Loader().LoaderState();
    if (clock.elapsed() > kDeadlineMs) {
      timedOut = true;
      std::fprintf(stderr, "bootshell-window-demo: gave up in state %s\n",
                   bootshell::boot::LoaderStateText(state).c_str());
      Button(form, "Button2")->click();
      operatorHands.stop();
    } else if (phase == WaitHandshake && state == lsIdle) {
      std::printf("The device answered; sending %s\n", qPrintable(image));
      Button(form, "BitBtn1")->click();
      Button(form, "BitBtn2")->click();
      phase = WaitWritten;
    } else if (phase == WaitWritten && state == lsIdle) {
      Button(form, "Button2")->click();
      phase = Done;
      operatorHands.stop();
    }
  });
  operatorHands.start(5);
  QTimer::singleShot(0, &form, [&] {
    std::printf("Connecting\n");
    Button(form, "Button8")->click();  // returns when "Exit" has ended the loop
    form.grab().save(picture);
    std::printf("The window after the transfer: %s\n", qPrintable(picture));
    QApplication::exit(phase == Done && !timedOut ? 0 : 1);
  });
  return QApplication::exec();
}
