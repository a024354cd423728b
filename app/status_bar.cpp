#include "app/status_bar.h"

#include <QResizeEvent>

#include <cmath>
#include <utility>

namespace bootshell::app {

StatusBar::StatusBar(std::span<const int> Widths, double Scale, QWidget* Parent) : QFrame(Parent) {
  int left = 0;
  for (int width : Widths) {
    auto* panel = new QLabel(this);  // owned by this frame
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setTextFormat(Qt::PlainText);
    panel->setIndent(2);
    const int x = static_cast<int>(std::lround(left * Scale));
    const int w = static_cast<int>(std::lround((left + width) * Scale)) - x;
    panel->setGeometry(x, 0, w, 0);  // the height follows the bar's in resizeEvent
    panels_.push_back(panel);
    left += width;
  }
  held_.resize(panels_.size());
}

QString StatusBar::PanelText(int Index) const {
  const std::optional<QString>& held = held_.at(static_cast<std::size_t>(Index));
  return held ? *held : Panel(Index)->text();
}

void StatusBar::SetPanelText(int Index, const QString& Text) {
  held_.at(static_cast<std::size_t>(Index)).reset();  // a text held before is older
  QLabel* panel = Panel(Index);
  if (panel->text() != Text) panel->setText(Text);
}

bool StatusBar::Hold(int Index, const QString& Text) {
  held_.at(static_cast<std::size_t>(Index)) = Text;
  return !std::exchange(holding_, true);
}

void StatusBar::ShowHeld() {
  holding_ = false;
  for (std::size_t i = 0; i < held_.size(); ++i)
    if (std::optional<QString> text = std::exchange(held_[i], std::nullopt))
      SetPanelText(static_cast<int>(i), *text);
}

void StatusBar::resizeEvent(QResizeEvent* Event) {
  QFrame::resizeEvent(Event);
  for (QLabel* panel : panels_) panel->resize(panel->width(), height());
}

}  // namespace bootshell::app
