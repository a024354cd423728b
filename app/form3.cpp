#include "app/form3.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QCompleter>
#include <QDir>
#include <QFileInfo>
#include <QRadioButton>
#include <QResizeEvent>

#include <array>
#include <cmath>

#include "app/resources.h"
#include "serialkit/core/component.h"
#include "serialkit/platform/application.h"

namespace bootshell::app {

namespace {

// The window's client area and its bottom bars at 96 dpi.
constexpr int kClientWidth = 688;
constexpr int kClientHeight = 471;
constexpr int kPanel1Width = 153;
constexpr int kProgressHeight = 22;
constexpr int kStatusHeight = 19;
constexpr std::array<int, 7> kStatusPanelWidths{100, 200, 50, 50, 100, 100, 50};
constexpr std::array<const char*, 3> kLinkKinds{"UART", "Bluetooth", "WiFi"};

template <class T>
T* Named(T* Control, const char* Name) {
  Control->setObjectName(QString::fromLatin1(Name));
  return Control;
}

}  // namespace

TForm3::TForm3(QWidget* Parent)
    : QWidget(Parent),
      scale_(logicalDpiX() / 96.0),
      session_(*this, *this),
      runDialog_([](QFileDialog& Dialog) -> std::optional<QString> {
        if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty())
          return std::nullopt;
        return QDir::toNativeSeparators(Dialog.selectedFiles().constFirst());
      }) {
  InitResources();
  setObjectName(QStringLiteral("Form3"));
  setWindowTitle(QStringLiteral(" Boot Mode Shell for ZR48"));
  QFont font(QStringLiteral("Tahoma"));
  font.setPixelSize(Px(11));
  setFont(font);
  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  setAutoFillBackground(true);
  CreateControls();
  resize(Px(kClientWidth), Px(kClientHeight));
  PlaceControls();

  // The watcher's messages arrive on this (the GUI) thread through the application object.
  try {
    watcher_ = std::make_unique<sk::platform::DeviceWatcher>(
        [this](sk::platform::TDeviceChangeMessage& Msg) { skDeviceBox1->WMDeviceChange(Msg); });
  } catch (const sk::Exception& E) {
    // The chooser still lists the ports present at start; the operator learns why it won't follow.
    qWarning("Ports plugged in later will not be listed: %s", E.what());
  }
}

TForm3::~TForm3() = default;

int TForm3::Px(int Value96) const {
  return static_cast<int>(std::lround(Value96 * scale_));
}

QRect TForm3::Box(int Left, int Top, int Width, int Height) const {
  return QRect(Px(Left), Px(Top), Px(Left + Width) - Px(Left), Px(Top + Height) - Px(Top));
}

void TForm3::CreateControls() {
  Panel1 = Named(new QFrame(this), "Panel1");
  Panel1->setFrameStyle(QFrame::Box | QFrame::Plain);

  skDeviceBox1 = Named(new PortChooser(Panel1), "skDeviceBox1");
  skDeviceBox1->setGeometry(Box(11, 16, 128, 21));
  // Bound after skComm1's own settings, so the first list and selection are those of COM3.
  skDeviceBox1->SetResetOnChanged(false);
  skDeviceBox1->Bind(&Components().Comm());

  Button8 = Named(new QPushButton(QStringLiteral("Connect"), Panel1), "Button8");
  Button8->setGeometry(Box(11, 47, 128, 25));
  connect(Button8, &QPushButton::clicked, this, &TForm3::Button8Click);
  Button2 = Named(new QPushButton(QStringLiteral("Exit"), Panel1), "Button2");
  Button2->setGeometry(Box(11, 78, 128, 25));
  connect(Button2, &QPushButton::clicked, this, &TForm3::Button2Click);

  Image1 = Named(new QLabel(Panel1), "Image1");
  Image1->setGeometry(Box(11, 150, 128, 128));
  Image1->setPixmap(QPixmap(QStringLiteral(":/bootshell/device.png")));
  Image1->setScaledContents(true);
  Image1->hide();

  RadioGroup1 = Named(new QGroupBox(Panel1), "RadioGroup1");
  RadioGroup1->setGeometry(Box(11, 269, 128, 105));
  radioItems_ = new QButtonGroup(RadioGroup1);
  // The items share the group's height below a caption line, as a radio group spaces them.
  constexpr int top = 14, itemHeight = (105 - top - 4) / 3;
  for (int i = 0; i < static_cast<int>(kLinkKinds.size()); ++i) {
    auto* item =
        new QRadioButton(QString::fromLatin1(kLinkKinds[static_cast<std::size_t>(i)]), RadioGroup1);
    item->setGeometry(Box(8, top + i * itemHeight, 112, itemHeight));
    radioItems_->addButton(item, i);
  }
  radioItems_->button(0)->setChecked(true);

  PageControl1 = Named(new QTabWidget(this), "PageControl1");
  TabSheet2 = Named(new QWidget, "TabSheet2");
  PageControl1->addTab(TabSheet2, QStringLiteral("Boot mode"));  // the tab control owns it
  PageControl1->hide();

  Edit1 = Named(new QLineEdit(QStringLiteral("Select file...."), TabSheet2), "Edit1");
  Edit1->setGeometry(Box(8, 16, 425, 21));
  BitBtn1 = Named(new QPushButton(QStringLiteral("..."), TabSheet2), "BitBtn1");
  BitBtn1->setGeometry(Box(439, 14, 35, 25));
  connect(BitBtn1, &QPushButton::clicked, this, &TForm3::BitBtn1Click);
  BitBtn2 = Named(new QPushButton(QStringLiteral("Send"), TabSheet2), "BitBtn2");
  BitBtn2->setGeometry(Box(480, 14, 43, 25));
  BitBtn2->setEnabled(false);
  connect(BitBtn2, &QPushButton::clicked, this, &TForm3::BitBtn2Click);
  Memo1 = Named(new QPlainTextEdit(QStringLiteral("Log"), TabSheet2), "Memo1");
  Memo1->setGeometry(Box(3, 45, 520, 338));

  ProgressBar1 = Named(new QProgressBar(this), "ProgressBar1");
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);

  StatusBar1 = Named(new StatusBar(kStatusPanelWidths, scale_, this), "StatusBar1");

  OD2 = Named(new QFileDialog(this), "OD2");
  OD2->setWindowTitle(QStringLiteral("Select firmware ..."));
  OD2->setNameFilter(QStringLiteral("firmware compressed (*.brox)"));
  OD2->selectFile(QStringLiteral("*.brox"));
  OD2->setDefaultSuffix(QStringLiteral("brox"));
  OD2->setFileMode(QFileDialog::AnyFile);  // the chosen file need not exist
  OD2->setAcceptMode(QFileDialog::AcceptOpen);
  // Qt's own dialog: resizable, the filter shown by its name alone, the same on every desktop.
  OD2->setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
  OD2->setSizeGripEnabled(true);
}

void TForm3::PlaceControls() {
  // Panel1 and PageControl1 share the height above the bars; the bars span the width.
  const int bottom = height() - Px(kStatusHeight) - Px(kProgressHeight);
  Panel1->setGeometry(0, 0, Px(kPanel1Width), bottom);
  PageControl1->setGeometry(Px(kPanel1Width), 0, width() - Px(kPanel1Width), bottom);
  ProgressBar1->setGeometry(0, bottom, width(), Px(kProgressHeight));
  StatusBar1->setGeometry(0, height() - Px(kStatusHeight), width(), Px(kStatusHeight));
}

void TForm3::resizeEvent(QResizeEvent* Event) {
  QWidget::resizeEvent(Event);
  if (Panel1) PlaceControls();
}

void TForm3::Button8Click() {
  ++loops_;
  session_.Connect();
  --loops_;
  // A close asked for while the loop ran takes effect now that the last one has ended.
  if (loops_ == 0 && closeRequested_)
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void TForm3::Button2Click() {
  session_.Stop();
}

void TForm3::BitBtn1Click() {
  OD2->setDefaultSuffix(QStringLiteral("brox"));
  if (std::optional<QString> chosen = runDialog_(*OD2)) Edit1->setText(*chosen);
  // Return typed into the file name line ends the dialog but can leave that line's completion
  // list on the screen, over this window, grabbing the next click; nothing of the dialog stays.
  for (QCompleter* completer : OD2->findChildren<QCompleter*>())
    if (QAbstractItemView* list = completer->popup(); list && list->isVisible()) list->hide();
  const QFileInfo file(Edit1->text());
  BitBtn2->setEnabled(file.exists() && !file.isDir());
}

void TForm3::BitBtn2Click() {
  session_.Send(Edit1->text().toStdString());
}

void TForm3::AppendAnswer(const QString& Line) {
  Memo1->appendPlainText(Line);
}

void TForm3::ShowConnectionLost() {
  const QString lost = QStringLiteral("Connection lost");
  StatusBar1->SetPanelText(3, lost);
  Memo1->appendPlainText(lost);
}

void TForm3::closeEvent(QCloseEvent* Event) {
  if (loops_ > 0) {
    closeRequested_ = true;
    Event->ignore();
    return;
  }
  closeRequested_ = false;
  QWidget::closeEvent(Event);
}

void TForm3::SetStatusPanel(int Index, const std::string& Text) {
  StatusBar1->SetPanelText(Index, QString::fromStdString(Text));
}

void TForm3::SetProgressRange(int Min, int Max) {
  ProgressBar1->setMinimum(Min);
  ProgressBar1->setMaximum(Max);
}

void TForm3::SetProgressPosition(int Value) {
  ProgressBar1->setValue(Value);
}

void TForm3::Connecting() {
  Image1->hide();
}

void TForm3::PortOpened() {
  Image1->show();
  // A loss shown before belongs to the port as it was.
  StatusBar1->SetPanelText(3, QString());
}

void TForm3::HandshakeAnswered(std::uint32_t Ms) {
  PageControl1->show();
  StatusPanels::HandshakeAnswered(Ms);
}

void TForm3::Answer(std::int32_t, const std::string& Text) {
  // The log is the GUI thread's; this runs in the port's worker.
  QMetaObject::invokeMethod(
      this, [this, line = QString::fromStdString(Text)] { AppendAnswer(line); },
      Qt::QueuedConnection);
}

void TForm3::ConnectionLost() {
  // The port's worker reports it; the loop may be waiting for an answer that will not come.
  QMetaObject::invokeMethod(
      this, [this] { ShowConnectionLost(); }, Qt::QueuedConnection);
}

void TForm3::LoopError(const std::string& Message) {
  sk::platform::Application().ShowError(Message);
}

int TForm3::LinkKind() const {
  return radioItems_->checkedId();
}

void TForm3::ProcessMessages() {
  pump_.ProcessMessages();
}

void TForm3::ProcessMessagesWaiting(std::uint32_t TimeoutMs) {
  pump_.ProcessMessagesWaiting(TimeoutMs);
}

void TForm3::WakeUp() {
  pump_.WakeUp();
}

}  // namespace bootshell::app
