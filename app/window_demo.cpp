// bootshell-window-demo: the window's own transfer, unattended. It opens the main window,
// presses "Connect", picks IMAGE once the device has answered, presses "Send", presses "Exit"
// when the image is written, and saves a picture of the window. For demos and screenshots
// where nobody sits at the window (the offscreen platform works).
#include <QApplication>
#include <QFileDialog>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <optional>

#include "app/form3.h"
#include "boot/transfer_script.h"
#include "loader/state_names.h"

namespace {

QAbstractButton* Button(bootshell::app::TForm3& Form, const char* Name) {
  return Form.findChild<QAbstractButton*>(QString::fromLatin1(Name));
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

  using namespace std::chrono_literals;
  bootshell::boot::TransferScript script({[&] {
                                            std::printf("The device answered; sending %s\n",
                                                        qPrintable(image));
                                            Button(form, "BitBtn1")->click();
                                            Button(form, "BitBtn2")->click();
                                          },
                                          [&] { Button(form, "Button2")->click(); }},
                                         {120s, 120s});
  form.Session().SetWatcher(&script);
  QTimer hands;
  QObject::connect(&hands, &QTimer::timeout, [&] { script.Tick(); });
  hands.start(5);
  QTimer::singleShot(0, &form, [&] {
    std::printf("Connecting\n");
    script.Start();
    Button(form, "Button8")->click();  // returns when "Exit" has ended the loop
    hands.stop();
    form.grab().save(picture);
    std::printf("The window after the transfer: %s\n", qPrintable(picture));
    const bool written = script.Outcome() == bootshell::boot::TransferScript::TOutcome::Written;
    if (!written)
      std::fprintf(stderr, "bootshell-window-demo: gave up in state %s\n",
                   bootshell::loader::LoaderStateText(script.State()).c_str());
    form.Session().SetWatcher(nullptr);
    QApplication::exit(written ? 0 : 1);
  });
  return QApplication::exec();
}
