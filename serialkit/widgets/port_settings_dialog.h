#pragma once
// The port settings dialog: edits what a port's line settings record (DCB) carries (bits per
// second, data bits, parity, stop bits, flow control) for one port, named in the title.
// InstallPortSettingsDialog makes it the port configuration dialog of every component.
#include <QDialog>
#include <QString>

#include "serialkit/platform/serial_records.h"

class QComboBox;
class QDialogButtonBox;

namespace sk::widgets {

class PortSettingsDialog : public QDialog {
  Q_OBJECT

 public:
  PortSettingsDialog(const QString& PortName, const COMMCONFIG& Config, QWidget* Parent = nullptr);

  // The record given, with the operator's choices. The parity-check and flow-control bits
  // are rewritten only when their choice was changed, so that settings the dialog cannot
  // show (RS485 direction control, DSR handshake) survive a confirmed dialog.
  COMMCONFIG Config() const;
  // Whether the bits-per-second field holds a rate that can be taken (a positive number).
  bool Acceptable() const;

 private:
  void UpdateAcceptable();

  COMMCONFIG config_;
  int shownFlow_ = 0;
  QComboBox* baudRate_ = nullptr;
  QComboBox* dataBits_ = nullptr;
  QComboBox* parity_ = nullptr;
  QComboBox* stopBits_ = nullptr;
  QComboBox* flowControl_ = nullptr;
  QDialogButtonBox* buttons_ = nullptr;
};

// Installs the dialog as the process's port configuration dialog, owned by the active window.
// A call from a thread other than the GUI thread is carried out in the GUI thread.
void InstallPortSettingsDialog();

}  // namespace sk::widgets
