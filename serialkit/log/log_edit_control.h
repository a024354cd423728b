#pragma once
// An edit control that a log sink mirrors its lines into (the sink's VisualOut); the GUI
// implements it over its own widget.
#include <string>

#include "serialkit/core/component.h"

namespace sk {

// The sink calls it from whichever thread logs, with the sink's lock held: a control that lives
// on the GUI thread posts the change there instead of waiting for it. The sink forgets the
// control when it is destroyed; an implementation calls BeginDestroy() first in its destructor so
// that the sink lets go before the widget goes.
class LogEditControl : public TComponent {
 public:
  using TComponent::TComponent;
  ~LogEditControl() override { BeginDestroy(); }
  std::string ClassName() const override { return "LogEditControl"; }

  virtual std::string Text() const = 0;
  virtual void SetText(const std::string& Value) = 0;
  // The control's text followed by Line; a control that can append in place overrides this.
  virtual void AppendText(const std::string& Line) { SetText(Text() + Line); }
};

}  // namespace sk
