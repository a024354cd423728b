// bootshell: the operator's window for writing firmware images to a ZR48 in boot mode.
#include <QApplication>

#include "app/form3.h"
#include "serialkit/widgets/port_settings_dialog.h"
#include "serialkit/widgets/qt_error_report.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("bootshell"));
  sk::widgets::InstallMessageBoxErrorReport(QStringLiteral("bootshell"));
  // A port's ConfigDialog shows the Qt port settings dialog.
  sk::widgets::InstallPortSettingsDialog();
  bootshell::app::TForm3 form;
  form.show();
  return QApplication::exec();
}
