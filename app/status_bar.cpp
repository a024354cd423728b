#include "app/status_bar.h"

#include <QResizeEvent>

#include <cmath>

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
}

void StatusBar::SetPanelText(int Index, const QString& Text) {
  QLabel* panel = Panel(Index);
  if (panel->text() != Text) panel->setText(Text);
}

void StatusBar::resizeEvent(QResizeEvent* Event) {
  QFrame::resizeEvent(Event);
  for (QLabel* panel : panels_) panel->resize(panel->width(), height());
}

}  // namespace bootshell::app
