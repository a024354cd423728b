#pragma once
// TForm3, the main window: the port chooser, "Connect", "Exit", the link kind, the device
// picture, the page with the file line, "Send" and the answer log, the progress bar and the
// status bar. It only wires: the buttons go to the loader session, and the loader's events
// come back here onto the controls.
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

#include "app/port_chooser.h"
#include "app/shared/control_table.h"
#include "app/shared/loop_close_rule.h"
#include "app/shared/window_presenter.h"
#include "app/status_bar.h"
#include "boot/loader_session.h"
#include "loader/loader_events.h"
#include "serialkit/platform/device_watcher.h"
#include "serialkit/widgets/device_box.h"
#include "serialkit/widgets/qt_application_pump.h"

namespace bootshell::app {

class TForm3 : public QWidget, public loader::LoaderHost, public window::WindowPresenter {
  Q_OBJECT

 public:
  // Runs OD2 and returns the chosen path, or nothing when the operator cancelled.
  using DialogRunner = std::function<std::optional<QString>(QFileDialog& Dialog)>;

  explicit TForm3(QWidget* Parent = nullptr);
  ~TForm3() override;

  // Sizes and places at 96 dpi are multiplied by this (the screen's dpi / 96).
  double Scale() const { return scale_; }

  boot::LoaderSession& Session() { return session_; }
  boot::BootComponents& Components() { return session_.Components(); }
  const loader::FirmwareLoader& Loader() const { return session_.Loader(); }
  // How many loader loops run now ("Connect" pressed inside a running loop starts another).
  int LoopsRunning() const { return closeRule_.LoopsRunning(); }
  // Replaces the modal run of OD2 (tests answer it without a person).
  void SetDialogRunner(DialogRunner Runner) { runDialog_ = std::move(Runner); }

  // The window's event handlers.
  void Button8Click();  // "Connect"
  void Button2Click();  // "Exit"
  void BitBtn1Click();  // "..."
  void BitBtn2Click();  // "Send"

  // loader::LoaderHost
  int LinkKind() const override;
  void ProcessMessages() override;
  void ProcessMessagesWaiting(std::uint32_t TimeoutMs) override;
  void WakeUp() override;

 protected:
  // window::WindowPresenter
  void SetStatusPanel(int Index, const std::string& Text) override;
  void SetProgressRange(int Min, int Max) override;
  void SetProgressPosition(int Value) override;
  void ShowImage1(bool Shown) override;
  void ShowPageControl1() override;
  void AppendToMemo1(const std::string& Line) override;
  void RunOnGuiThread(std::function<void()> Fn) override;

  void closeEvent(QCloseEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;

 private:
  void CreateControls();
  void PlaceControls();
  int Px(int Value96) const;
  QRect Box(const window::Rect& At96) const;
  // Names Control and gives it its row's place, text and state.
  template <class T>
  T* FromTable(T* Control, const char* Name);

  double scale_ = 1;
  sk::widgets::QtApplicationPump pump_;
  // skComm1, skDataProcessor1 and the loader; ends before the controls its events reach.
  boot::LoaderSession session_;

  // Controls; children of the window, which deletes them after the members below are gone.
  QFrame* Panel1 = nullptr;
  PortChooser* skDeviceBox1 = nullptr;
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
  window::LoopCloseRule closeRule_;
  // Ports plugged in or out after start reach skDeviceBox1; ends before the controls it feeds.
  std::unique_ptr<sk::platform::DeviceWatcher> watcher_;
};

}  // namespace bootshell::app
