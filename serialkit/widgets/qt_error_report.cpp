#include "serialkit/widgets/qt_error_report.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "serialkit/platform/application.h"

namespace sk::widgets {

QString MessageBoxText(const std::string& Message) {
  QString text = QString::fromStdString(Message);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QChar('\r'), QChar('\n'));
  if (!text.isEmpty() && !text.endsWith(QChar('.'))) text += QChar('.');
  return text;
}

void InstallMessageBoxErrorReport(const QString& Title) {
  platform::Application().SetErrorReport([Title](const std::string& Message) {
    auto show = [Title, text = MessageBoxText(Message)] {
      QMessageBox::critical(QApplication::activeWindow(), Title, text);
    };
    if (QThread::currentThread() == qApp->thread())
      show();
    else
      QMetaObject::invokeMethod(qApp, show, Qt::QueuedConnection);
  });
}

}  // namespace sk::widgets
