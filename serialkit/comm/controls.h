#pragma once
// What the port needs of the GUI controls that can be linked to it. A GUI toolkit implements
// these in adapters; the library itself has no controls.
#include <functional>
#include <string>

#include "serialkit/core/component.h"

namespace sk {

// A control with a Boolean "Checked" state (a check box, a lamp). The monitor properties of the
// port accept any component; only those that implement this are switched.
class TCheckedControl {
 public:
  virtual ~TCheckedControl() = default;
  virtual bool Checked() const = 0;
  virtual void SetChecked(bool Value) = 0;
};

// An edit control that a port can bind as its terminal: typed characters go to the port,
// received bytes are written into the control. The port may call WriteChar and
// ReplaceSelection from its receiving thread; an adapter whose control lives in a GUI thread
// hands them over to that thread.
class TskTerminalControl : public TComponent {
 public:
  using TComponent::TComponent;
  std::string ClassName() const override { return "TskTerminalControl"; }

  // Sees every character typed into the control before the control does; the result says
  // whether the control handles it as usual (shows it).
  using TKeyFilter = std::function<bool(char16_t Ch)>;
  // Installs Filter; an empty filter gives the control its own handling back.
  virtual void SetKeyFilter(TKeyFilter Filter) = 0;
  // One character handled as if it had been typed.
  virtual void WriteChar(char16_t Ch) = 0;
  // Text put in place of the selection (at the caret).
  virtual void ReplaceSelection(const std::u16string& Text) = 0;
};

}  // namespace sk
