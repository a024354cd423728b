#include "app/form3.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QCompleter>
#include <QDir>
#include <QRadioButton>
#include <QResizeEvent>

#include "app/resources.h"
#include "app/shared/control_table.h"
#include "app/shared/file_choice.h"
#include "serialkit/core/component.h"

namespace bootshell::app {

namespace {

namespace win = bootshell::window;

QString Text(std::string_view Utf8) {
  return QString::fromUtf8(Utf8.data(), static_cast<qsizetype>(Utf8.size()));
}

void SetText(QWidget* Control, const QString& Text) {
  if (auto* button = qobject_cast<QAbstractButton*>(Control))
    button->setText(Text);
  else if (auto* line = qobject_cast<QLineEdit*>(Control))
    line->setText(Text);
  else if (auto* memo = qobject_cast<QPlainTextEdit*>(Control))
    memo->setPlainText(Text);
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
  setObjectName(Text(win::kFormName));
  setWindowTitle(Text(win::kCaption));
  QFont font(Text(win::kFontName));
  font.setPixelSize(Px(win::kFontPixels));
  setFont(font);
  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  setAutoFillBackground(true);
  CreateControls();
  resize(Px(win::kClientWidth), Px(win::kClientHeight));
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
  return win::Px(Value96, scale_);
}

QRect TForm3::Box(const win::Rect& At96) const {
  const win::Rect r = win::Scaled(At96, scale_);
  return QRect(r.Left, r.Top, r.Width, r.Height);
}

template <class T>
T* TForm3::FromTable(T* Control, const char* Name) {
  const win::ControlSpec& row = win::Control(Name);
  Control->setObjectName(QString::fromLatin1(Name));
  if (row.Place96 != win::Rect{}) Control->setGeometry(Box(row.Place96));
  if (!row.Text.empty()) SetText(Control, Text(row.Text));
  Control->setEnabled(row.Enabled);
  if (!row.Visible) Control->hide();
  return Control;
}

void TForm3::CreateControls() {
  Panel1 = FromTable(new QFrame(this), "Panel1");
  Panel1->setFrameStyle(QFrame::Box | QFrame::Plain);

  skDeviceBox1 = FromTable(new PortChooser(Panel1), "skDeviceBox1");
  // Bound after skComm1's own settings, so the first list and selection are those of COM3.
  skDeviceBox1->SetResetOnChanged(false);
  skDeviceBox1->Bind(&Components().Comm());

  Button8 = FromTable(new QPushButton(Panel1), "Button8");
  connect(Button8, &QPushButton::clicked, this, &TForm3::Button8Click);
  Button2 = FromTable(new QPushButton(Panel1), "Button2");
  connect(Button2, &QPushButton::clicked, this, &TForm3::Button2Click);

  Image1 = FromTable(new QLabel(Panel1), "Image1");
  Image1->setPixmap(QPixmap(QStringLiteral(":/bootshell/device.png")));
  Image1->setScaledContents(true);

  RadioGroup1 = FromTable(new QGroupBox(Panel1), "RadioGroup1");
  radioItems_ = new QButtonGroup(RadioGroup1);
  for (int i = 0; i < static_cast<int>(win::kLinkKinds.size()); ++i) {
    auto* item = new QRadioButton(Text(win::kLinkKinds[static_cast<std::size_t>(i)]), RadioGroup1);
    item->setGeometry(Box(win::RadioItemPlace(i)));
    radioItems_->addButton(item, i);
  }
  radioItems_->button(0)->setChecked(true);

  PageControl1 = FromTable(new QTabWidget(this), "PageControl1");
  TabSheet2 = FromTable(new QWidget, "TabSheet2");
  PageControl1->addTab(TabSheet2, Text(win::kPageCaption));  // the tab control owns it

  Edit1 = FromTable(new QLineEdit(TabSheet2), "Edit1");
  BitBtn1 = FromTable(new QPushButton(TabSheet2), "BitBtn1");
  connect(BitBtn1, &QPushButton::clicked, this, &TForm3::BitBtn1Click);
  BitBtn2 = FromTable(new QPushButton(TabSheet2), "BitBtn2");
  connect(BitBtn2, &QPushButton::clicked, this, &TForm3::BitBtn2Click);
  Memo1 = FromTable(new QPlainTextEdit(TabSheet2), "Memo1");

  ProgressBar1 = FromTable(new QProgressBar(this), "ProgressBar1");
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);

  StatusBar1 = FromTable(new StatusBar(win::kStatusPanelWidths, scale_, this), "StatusBar1");

  const win::FileDialogSettings& od2 = win::kOD2;
  OD2 = new QFileDialog(this);
  OD2->setObjectName(QStringLiteral("OD2"));
  OD2->setWindowTitle(Text(od2.Title));
  OD2->setNameFilter(Text(od2.FilterName) + " (" + Text(od2.FilterPattern) + ")");
  OD2->selectFile(Text(od2.InitialName));
  OD2->setDefaultSuffix(Text(od2.DefaultExtension));
  OD2->setFileMode(QFileDialog::AnyFile);  // the chosen file need not exist
  OD2->setAcceptMode(QFileDialog::AcceptOpen);
  // Qt's own dialog: resizable, the filter shown by its name alone, the same on every desktop.
  OD2->setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
  OD2->setSizeGripEnabled(true);
}

void TForm3::PlaceControls() {
  const win::DockedPlaces at = win::PlaceDocked(width(), height(), scale_);
  const auto place = [](QWidget* Control, const win::Rect& R) {
    Control->setGeometry(R.Left, R.Top, R.Width, R.Height);
  };
  place(Panel1, at.Panel1);
  place(PageControl1, at.PageControl1);
  place(ProgressBar1, at.ProgressBar1);
  place(StatusBar1, at.StatusBar1);
}

void TForm3::resizeEvent(QResizeEvent* Event) {
  QWidget::resizeEvent(Event);
  if (Panel1) PlaceControls();
}

void TForm3::Button8Click() {
  closeRule_.LoopStarted();
  session_.Connect();
  pump_.HostLoopEnded();  // the window shows where the loop stopped
  // A close asked for while the loop ran takes effect now that the last one has ended.
  if (closeRule_.LoopEnded())
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void TForm3::Button2Click() {
  session_.Stop();
}

void TForm3::BitBtn1Click() {
  const win::FileChoice choice =
      win::ChooseFile(Edit1->text().toStdString(), [this](const win::FileDialogSettings& Od2) {
        OD2->setDefaultSuffix(Text(Od2.DefaultExtension));
        std::optional<QString> chosen = runDialog_(*OD2);
        return chosen ? std::optional(chosen->toStdString()) : std::nullopt;
      });
  Edit1->setText(QString::fromStdString(choice.Edit1));
  // Return typed into the file name line ends the dialog but can leave that line's completion
  // list on the screen, over this window, grabbing the next click; nothing of the dialog stays.
  for (QCompleter* completer : OD2->findChildren<QCompleter*>())
    if (QAbstractItemView* list = completer->popup(); list && list->isVisible()) list->hide();
  BitBtn2->setEnabled(choice.SendEnabled);
}

void TForm3::BitBtn2Click() {
  session_.Send(Edit1->text().toStdString());
}

void TForm3::closeEvent(QCloseEvent* Event) {
  if (!closeRule_.MayClose()) {
    Event->ignore();
    return;
  }
  QWidget::closeEvent(Event);
}

void TForm3::SetStatusPanel(int Index, const std::string& Text) {
  // Shown with the next paint, after the log lines that came before.
  if (StatusBar1->Hold(Index, QString::fromStdString(Text)))
    pump_.PostForScreen([this] { StatusBar1->ShowHeld(); });
}

void TForm3::SetProgressRange(int Min, int Max) {
  ProgressBar1->setMinimum(Min);
  ProgressBar1->setMaximum(Max);
}

void TForm3::SetProgressPosition(int Value) {
  ProgressBar1->setValue(Value);
}

void TForm3::ShowImage1(bool Shown) {
  Image1->setVisible(Shown);
}

void TForm3::ShowPageControl1() {
  PageControl1->show();
}

void TForm3::AppendToMemo1(const std::string& Line) {
  Memo1->appendPlainText(QString::fromStdString(Line));
}

void TForm3::RunOnGuiThread(std::function<void()> Fn) {
  // The answers' lines and the lost-line note: they go with the next paint, so that the loop
  // sends the next frame first.
  pump_.PostForScreen(std::move(Fn));
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
