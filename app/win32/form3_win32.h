#pragma once
// TForm3 as native Windows controls: the same controls, names, places and behaviour as the Qt
// window, over the same loader session and shared window logic. It only wires: the controls'
// notifications go to the session, the session's events come back onto the controls.
#include <windows.h>
// After windows.h, which it needs.
#include <commdlg.h>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/shared/loop_close_rule.h"
#include "app/shared/window_presenter.h"
#include "app/win32/native_device_box.h"
#include "boot/loader_session.h"
#include "loader/loader_events.h"
#include "serialkit/platform/application.h"
#include "serialkit/platform/device_watcher.h"

namespace bootshell::win32 {

class TForm3 : public loader::LoaderHost, public window::WindowPresenter {
 public:
  // Runs OD2 and returns the chosen full path (UTF-8), or nothing when cancelled.
  using DialogRunner = std::function<std::optional<std::string>(OPENFILENAMEW& Dialog)>;

  // Control ids: the row of the control table plus kFirstControlId; radio item i has
  // kFirstRadioId + i.
  static constexpr int kFirstControlId = 100, kFirstRadioId = 200;

  explicit TForm3(int ShowCommand = SW_SHOWNORMAL);
  ~TForm3() override;
  TForm3(const TForm3&) = delete;
  TForm3& operator=(const TForm3&) = delete;

  // Null once the window is closed.
  HWND Handle() const { return form_; }
  // The control the window's table names Name; throws std::out_of_range for another name.
  HWND Control(std::string_view Name) const;
  HWND RadioItem(int Index) const { return radio_.at(static_cast<std::size_t>(Index)); }
  // Sizes and places at 96 dpi are multiplied by this (the monitor's dpi / 96).
  double Scale() const { return scale_; }

  boot::LoaderSession& Session() { return session_; }
  boot::BootComponents& Components() { return session_.Components(); }
  int LoopsRunning() const { return closeRule_.LoopsRunning(); }
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

  // loader::LoaderEvents, beyond what the presenter makes of it
  void BlockSent(std::int64_t Position, std::int64_t Cycle) override;

 protected:
  // window::WindowPresenter
  void SetStatusPanel(int Index, const std::string& Text) override;
  void SetProgressRange(int Min, int Max) override;
  void SetProgressPosition(int Value) override;
  void ShowImage1(bool Shown) override;
  void ShowPageControl1() override;
  void AppendToMemo1(const std::string& Line) override;
  void RunOnGuiThread(std::function<void()> Fn) override;

 private:
  struct GdiObjectDeleter {
    void operator()(void* Object) const;
  };
  struct IconDeleter {
    void operator()(HICON Icon) const;
  };
  using FontHandle = std::unique_ptr<void, GdiObjectDeleter>;
  using IconHandle = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;

  static LRESULT CALLBACK FormProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);
  LRESULT OnMessage(UINT Message, WPARAM WParam, LPARAM LParam);
  void OnCommand(int Id, int Code);
  void CreateControls();
  // Fonts, the picture and every place, for the current scale.
  void ApplyScale();
  void PlaceControls();
  void RunQueued();
  // Puts what the loop's events left due onto the controls when it is time (Force: now), so
  // that a transfer paints them at a steady rate instead of at every event; the loop's serving
  // calls it, and its end.
  void ShowDue(bool Force);
  // Something waits to be shown: with no loop running, shown at once.
  void MarkDue();

  sk::platform::TApplication& app_;
  const sk::platform::TThreadID thread_;
  double scale_ = 1;
  std::atomic<HWND> form_{nullptr};  // read by the port's worker to post to it
  std::array<HWND, 14> controls_{};  // by table row
  std::array<HWND, 3> radio_{};
  FontHandle font_;
  IconHandle picture_, bigIcon_, smallIcon_;
  window::LoopCloseRule closeRule_;
  DialogRunner runDialog_;
  // While a loop runs, the panels' and the progress bar's texts and the log's lines wait here
  // for ShowDue (GUI thread only).
  std::array<std::wstring, 7> panelsShown_, panelsDue_;
  int progressShown_ = 0, progressDue_ = 0;
  std::wstring memoDue_;  // lines not yet in Memo1, each after its CR LF
  bool due_ = false;
  bool blockOnLine_ = false;  // a data block has just gone: a good time to show what is due
  std::chrono::steady_clock::time_point shownAt_{};
  std::mutex queuedMutex_;
  std::vector<std::function<void()>> queued_;  // for the GUI thread, from the port's worker
  // skComm1, skDataProcessor1 and the loader; its workers end before the queue above goes.
  boot::LoaderSession session_;
  std::unique_ptr<NativeDeviceBox> skDeviceBox1;
  std::unique_ptr<sk::platform::DeviceWatcher> watcher_;
};

}  // namespace bootshell::win32
