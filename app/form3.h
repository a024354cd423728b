#pragma once
// TForm3, the main window: the port chooser, "Connect", "Exit", the link kind, the device
// picture, the page with the file line, "Send" and the answer log, the progress bar and the
// status bar. It only wires: the buttons go to the loader core, and the loader's window
// operations come back here.
#include <QButtonGroup>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

#include "app/status_bar.h"
#include "boot/boot_components.h"
#include "boot/comm_loader_port.h"
#include "boot/loader_hookup.h"
#include "loader/firmware_loader.h"
#include "serialkit/platform/device_watcher.h"
#include "serialkit/widgets/device_box.h"
#include "serialkit/widgets/qt_application_pump.h"

namespace bootshell::app {

class TForm3 : public QWidget, public loader::LoaderWindow {
  Q_OBJECT

 public:
  // Runs OD2 and returns the chosen path, or nothing when the operator cancelled.
  using DialogRunner = std::function<std::optional<QString>(QFileDialog& Dialog)>;

  explicit TForm3(QWidget* Parent = nullptr);
  ~TForm3() override;

  // Sizes and places at 96 dpi are multiplied by this (the screen's dpi / 96).
  double Scale() const { return scale_; }

  boot::BootComponents& Components() { return components_; }
  loader::FirmwareLoader& Loader() { return loader_; }
  // How many loader loops run now ("Connect" pressed inside a running loop starts another).
  int LoopsRunning() const { return loops_; }
  // Replaces the modal run of OD2 (tests answer it without a person).
  void SetDialogRunner(DialogRunner Runner) { runDialog_ = std::move(Runner); }

  // The window's event handlers.
  void Button8Click();  // "Connect"
  void Button2Click();  // "Exit"
  void BitBtn1Click();  // "..."
  void BitBtn2Click();  // "Send"

  // loader::LoaderWindow
  void SetStatusPanel(int Index, const std::string& Text) override;
  void SetProgressMin(int Value) override;
  void SetProgressMax(int Value) override;
  void SetProgressPosition(int Value) override;
  void SetImage1Visible(bool Value) override;
  void ShowPageControl1() override;
  int RadioGroup1ItemIndex() const override;
  void ProcessMessages() override;
  void ProcessMessagesWaiting(std::uint32_t TimeoutMs) override;
  void WakeUp() override;
  void ReportError(const std::string& Message) override;

 protected:
  void closeEvent(QCloseEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;

 private:
  void CreateControls();
  void PlaceControls();
  int Px(int Value96) const;
  QRect Box(int Left, int Top, int Width, int Height) const;
  // The answer handler's log step, on the GUI thread.
  void AppendAnswer(const QString& Line);

  double scale_ = 1;
  sk::widgets::QtApplicationPump pump_;
  boot::BootComponents components_;  // skComm1 and skDataProcessor1
  boot::CommLoaderPort port_;
  loader::FirmwareLoader loader_;

  // Controls; children of the window, which deletes them after the members below are gone.
  QFrame* Panel1 = nullptr;
  sk::widgets::TskDeviceBox* skDeviceBox1 = nullptr;
  QPushButton* Button8 = nullptr;
  QPushButton* Button2 = nullptr;
  QLabel* Image1 = nullptr;
  QGroupBox* RadioGroup1 = nullptr;
  QButtonGroup* radioItems_ = nullptr;
  QTabWidget* PageControl1 = nullptr;
  QWidget* TabSheet2 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QPushButton* BitBtn1 = nullptr;
  QPushButton* BitBtn2 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  StatusBar* StatusBar1 = nullptr;
  QFileDialog* OD2 = nullptr;

  DialogRunner runDialog_;
  int loops_ = 0;
  bool closeRequested_ = false;
  // Declared last: ends first, closing the port before anything it reaches is destroyed.
  std::unique_ptr<boot::LoaderHookup> hookup_;
  // Ports plugged in or out after start reach skDeviceBox1; ends before the controls it feeds.
  std::unique_ptr<sk::platform::DeviceWatcher> watcher_;
};

}  // namespace bootshell::app
