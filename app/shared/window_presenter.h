#pragma once
// What the loader's events do to the main window, for every view: the status bar and the
// progress bar (StatusPanels), the device picture once the port is open, the page once the
// device has answered, the answers and a lost line in the log. A view implements the
// operations on its controls; those run on the GUI thread only. The events that come on a
// port worker reach the controls through RunOnGuiThread.
#include <cstdint>
#include <functional>
#include <string>

#include "loader/status_panels.h"

namespace bootshell::window {

class WindowPresenter : public loader::StatusPanels {
 public:
  inline static const std::string kConnectionLost = "Connection lost";

  void Connecting() override;
  void PortOpened() override;
  void HandshakeAnswered(std::uint32_t Ms) override;
  void Answer(std::int32_t Tag, const std::string& Text) override;
  void ConnectionLost() override;
  void LoopError(const std::string& Message) override;

 protected:
  virtual void ShowImage1(bool Shown) = 0;
  virtual void ShowPageControl1() = 0;
  virtual void AppendToMemo1(const std::string& Line) = 0;
  // Queues Fn to run on the GUI thread, after what is queued there already; callable from
  // any thread. Fn must not run once the view is gone.
  virtual void RunOnGuiThread(std::function<void()> Fn) = 0;
};

}  // namespace bootshell::window
