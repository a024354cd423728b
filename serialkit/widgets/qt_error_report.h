#pragma once
// The application's error report as a Qt message box, the toolkit's own way of telling the
// operator about an error that nobody handled.
#include <QString>

namespace sk::widgets {

// Makes the application object's error report a modal message box titled Title. A report
// from another thread is shown by the GUI thread and does not wait for the operator.
void InstallMessageBoxErrorReport(const QString& Title);

// The message as a message box shows it: a lone carriage return (the port's open error puts
// the system's reason behind one) becomes a line break, and a period ends it.
QString MessageBoxText(const std::string& Message);

}  // namespace sk::widgets
