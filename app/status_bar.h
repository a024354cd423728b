#pragma once
// StatusBar1: indexed text panels of fixed widths side by side along the bottom edge. Built
// from plain labels in one container, without spacing or size grip, so that every panel sits
// exactly where its width puts it.
#include <QFrame>
#include <QLabel>

#include <optional>
#include <span>
#include <vector>

namespace bootshell::app {

class StatusBar : public QFrame {
  Q_OBJECT

 public:
  // Panel widths at 96 dpi, left to right; Scale turns them into pixels.
  StatusBar(std::span<const int> Widths, double Scale, QWidget* Parent = nullptr);

  int PanelCount() const { return static_cast<int>(panels_.size()); }
  QLabel* Panel(int Index) const { return panels_.at(static_cast<std::size_t>(Index)); }
  // The panel's text as last set, held or shown.
  QString PanelText(int Index) const;
  // Sets a panel's text; an unchanged text repaints nothing.
  void SetPanelText(int Index, const QString& Text);
  // Keeps a text for the panel until ShowHeld, which shows the last one held for each panel:
  // a label's text costs more than the loader's turn that sets it. True when nothing was held
  // before (ShowHeld is then due).
  bool Hold(int Index, const QString& Text);
  void ShowHeld();

 protected:
  void resizeEvent(QResizeEvent* Event) override;

 private:
  std::vector<QLabel*> panels_;  // children of this frame
  std::vector<std::optional<QString>> held_;
  bool holding_ = false;
};

}  // namespace bootshell::app
