#include "serialkit/widgets/port_settings_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QThread>
#include <QVBoxLayout>
#include <limits>

#include "serialkit/platform/config_dialog.h"

namespace sk::widgets {

namespace {

constexpr std::uint32_t kUsualRates[] = {110,    300,    600,    1200,   2400,  4800,
                                         9600,   14400,  19200,  38400,  57600, 115200,
                                         128000, 230400, 256000, 460800, 921600};

enum Flow : int { kFlowNone, kFlowHardware, kFlowSoftware };

// The same reading of the flag word as the port component's, so that the dialog shows the
// flow control that the component will derive from the record.
constexpr std::uint32_t kFlagsNone = dcb::fBinary | dcb::fDtrControlEnable | dcb::fRtsControlEnable;
constexpr std::uint32_t kFlagsSoftware = kFlagsNone | dcb::fOutX | dcb::fInX;
constexpr std::uint32_t kFlagsHardware =
    dcb::fBinary | dcb::fOutxCtsFlow | dcb::fDtrControlEnable | dcb::fRtsControlHandshake;
// What a flow-control choice rewrites: the component's own choice of bits.
constexpr std::uint32_t kFlowBits = dcb::fBinary | dcb::fOutxCtsFlow | dcb::fDtrControlEnable |
                                    dcb::fOutX | dcb::fInX | dcb::fRtsControl;

int FlowOf(std::uint32_t Flags) {
  if ((Flags & kFlagsSoftware) == kFlagsSoftware) return kFlowSoftware;
  if ((Flags & kFlagsHardware) == kFlagsHardware) return kFlowHardware;
  return kFlowNone;
}

// Selects the item carrying Value, adding one labelled Label when there is none, so that a
// value the list does not offer is shown and kept rather than replaced.
void SelectData(QComboBox* Box, int Value, const QString& Label) {
  int i = Box->findData(Value);
  if (i < 0) {
    Box->addItem(Label, Value);
    i = Box->count() - 1;
  }
  Box->setCurrentIndex(i);
}

QComboBox* MakeBox(QWidget* Parent, const char* Name) {
  auto* box = new QComboBox(Parent);
  box->setObjectName(QString::fromLatin1(Name));
  return box;
}

}  // namespace

PortSettingsDialog::PortSettingsDialog(const QString& PortName, const COMMCONFIG& Config,
                                       QWidget* Parent)
    : QDialog(Parent), config_(Config) {
  setObjectName(QStringLiteral("PortSettingsDialog"));
  setWindowTitle(tr("%1 Settings").arg(PortName));
  const DCB& d = config_.dcb;

  baudRate_ = MakeBox(this, "BaudRate");
  baudRate_->setEditable(true);
  baudRate_->setInsertPolicy(QComboBox::NoInsert);
  for (std::uint32_t rate : kUsualRates) baudRate_->addItem(QString::number(rate));
  baudRate_->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{1,10}")), this));
  baudRate_->setCurrentText(QString::number(d.BaudRate));

  dataBits_ = MakeBox(this, "DataBits");
  for (int bits = 5; bits <= 8; ++bits) dataBits_->addItem(QString::number(bits), bits);
  SelectData(dataBits_, d.ByteSize, QString::number(d.ByteSize));

  parity_ = MakeBox(this, "Parity");
  parity_->addItem(tr("None"), NOPARITY);
  parity_->addItem(tr("Odd"), ODDPARITY);
  parity_->addItem(tr("Even"), EVENPARITY);
  parity_->addItem(tr("Mark"), MARKPARITY);
  parity_->addItem(tr("Space"), SPACEPARITY);
  SelectData(parity_, d.Parity, tr("Unknown (%1)").arg(d.Parity));

  stopBits_ = MakeBox(this, "StopBits");
  stopBits_->addItem(QStringLiteral("1"), ONESTOPBIT);
  stopBits_->addItem(QStringLiteral("1.5"), ONE5STOPBITS);
  stopBits_->addItem(QStringLiteral("2"), TWOSTOPBITS);
  SelectData(stopBits_, d.StopBits, tr("Unknown (%1)").arg(d.StopBits));

  flowControl_ = MakeBox(this, "FlowControl");
  flowControl_->addItem(tr("None"), kFlowNone);
  flowControl_->addItem(tr("Hardware (RTS/CTS)"), kFlowHardware);
  flowControl_->addItem(tr("Software (XON/XOFF)"), kFlowSoftware);
  shownFlow_ = FlowOf(DcbFlags(d));
  SelectData(flowControl_, shownFlow_, QString());

  auto* form = new QFormLayout;
  form->addRow(tr("&Bits per second:"), baudRate_);
  form->addRow(tr("&Data bits:"), dataBits_);
  form->addRow(tr("&Parity:"), parity_);
  form->addRow(tr("&Stop bits:"), stopBits_);
  form->addRow(tr("&Flow control:"), flowControl_);

  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons_->setObjectName(QStringLiteral("Buttons"));
  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(baudRate_, &QComboBox::currentTextChanged, this, &PortSettingsDialog::UpdateAcceptable);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons_);
  UpdateAcceptable();
}

bool PortSettingsDialog::Acceptable() const {
  bool ok = false;
  const qulonglong rate = baudRate_->currentText().toULongLong(&ok);
  return ok && rate > 0 && rate <= std::numeric_limits<std::uint32_t>::max();
}

void PortSettingsDialog::UpdateAcceptable() {
  buttons_->button(QDialogButtonBox::Ok)->setEnabled(Acceptable());
}

COMMCONFIG PortSettingsDialog::Config() const {
  COMMCONFIG c = config_;
  DCB& d = c.dcb;
  if (Acceptable()) d.BaudRate = static_cast<std::uint32_t>(baudRate_->currentText().toULongLong());
  d.ByteSize = static_cast<std::uint8_t>(dataBits_->currentData().toInt());
  if (const int parity = parity_->currentData().toInt(); parity != config_.dcb.Parity) {
    d.Parity = static_cast<std::uint8_t>(parity);
    // Checking follows a new choice, as the component's own parity setting has it.
    if (d.Parity != NOPARITY)
      SetDcbFlags(d, DcbFlags(d) | dcb::fParity);
    else
      SetDcbFlags(d, DcbFlags(d) & ~dcb::fParity);
  }
  d.StopBits = static_cast<std::uint8_t>(stopBits_->currentData().toInt());
  if (const int flow = flowControl_->currentData().toInt(); flow != shownFlow_) {
    SetDcbFlags(d, (DcbFlags(d) & ~kFlowBits) | (flow == kFlowSoftware   ? kFlagsSoftware
                                                 : flow == kFlowHardware ? kFlagsHardware
                                                                         : kFlagsNone));
  }
  return c;
}

namespace {

bool RunDialog(const std::string& Name, COMMCONFIG& Config) {
  if (QApplication::instance() == nullptr) return false;
  PortSettingsDialog dialog(QString::fromStdString(Name), Config, QApplication::activeWindow());
  if (dialog.exec() != QDialog::Accepted) return false;
  Config = dialog.Config();
  return true;
}

}  // namespace

void InstallPortSettingsDialog() {
  platform::SetConfigDialogHook([](const std::string& Name, COMMCONFIG& Config) {
    QCoreApplication* app = QApplication::instance();
    if (app == nullptr) return false;
    if (QThread::currentThread() == app->thread()) return RunDialog(Name, Config);
    bool confirmed = false;
    QMetaObject::invokeMethod(
        app, [&] { confirmed = RunDialog(Name, Config); }, Qt::BlockingQueuedConnection);
    return confirmed;
  });
}

}  // namespace sk::widgets
