#include "app/shared/window_presenter.h"

#include "serialkit/platform/application.h"

namespace bootshell::window {

void WindowPresenter::Connecting() {
  ShowImage1(false);
}

void WindowPresenter::PortOpened() {
  ShowImage1(true);
  // A loss shown before belongs to the port as it was.
  SetStatusPanel(3, {});
}

void WindowPresenter::HandshakeAnswered(std::uint32_t Ms) {
  ShowPageControl1();
  StatusPanels::HandshakeAnswered(Ms);
}

void WindowPresenter::Answer(std::int32_t, const std::string& Text) {
  // The log is the GUI thread's; this runs in the port's worker.
  RunOnGuiThread([this, Text] { AppendToMemo1(Text); });
}

void WindowPresenter::ConnectionLost() {
  // The port's worker reports it; the loop may be waiting for an answer that will not come.
  RunOnGuiThread([this] {
    SetStatusPanel(3, kConnectionLost);
    AppendToMemo1(kConnectionLost);
  });
}

void WindowPresenter::LoopError(const std::string& Message) {
  sk::platform::Application().ShowError(Message);
}

}  // namespace bootshell::window
