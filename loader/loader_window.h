#pragma once
// What the loader loop needs of the main window. Everything but WakeUp is called on the
// thread that runs the loop (the GUI thread), and the button handlers run inside
// ProcessMessages / ProcessMessagesWaiting.
#include <cstdint>
#include <string>

namespace bootshell::loader {

class LoaderWindow {
 public:
  virtual ~LoaderWindow() = default;

  // Status bar panel Index (from 0).
  virtual void SetStatusPanel(int Index, const std::string& Text) = 0;
  virtual void SetProgressMin(int Value) = 0;
  virtual void SetProgressMax(int Value) = 0;
  virtual void SetProgressPosition(int Value) = 0;
  // The device picture Image1.
  virtual void SetImage1Visible(bool Value) = 0;
  // Shows PageControl1 (the file line, "Send" and the answer log); nothing hides it again.
  virtual void ShowPageControl1() = 0;
  // The chosen link kind, RadioGroup1.ItemIndex.
  virtual int RadioGroup1ItemIndex() const = 0;

  // Serves the window messages pending now and returns.
  virtual void ProcessMessages() = 0;
  // Serves the pending messages; when there are none, waits at most TimeoutMs for one or for
  // a WakeUp and serves what came. Returns as soon as something was served or woke it.
  virtual void ProcessMessagesWaiting(std::uint32_t TimeoutMs) = 0;
  // Ends the current ProcessMessagesWaiting at once; one that comes while none is waiting
  // ends the next at once. Thread-safe: the answer handler calls it from a port worker.
  virtual void WakeUp() = 0;

  // An error that ended the loop, shown to the operator (the toolkit's error report).
  virtual void ReportError(const std::string& Message) = 0;
};

}  // namespace bootshell::loader
