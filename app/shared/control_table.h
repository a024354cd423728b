#pragma once
// The main window's controls as every view builds them: name, kind, parent, place and size at
// 96 dpi, first text and state. A view creates a native control per row and scales the places
// by the screen's dpi; the controls that follow the window's size are placed by PlaceDocked.
#include <array>
#include <span>
#include <string_view>

namespace bootshell::window {

struct Rect {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

enum class ControlKind {
  panel,      // a bordered container without caption
  deviceBox,  // the port chooser, a drop-down list
  button,
  picture,      // the device picture, an icon
  radioGroup,   // a group box holding the link kinds
  pageControl,  // a tab control
  page,         // its one page
  edit,         // one line, editable
  memo,         // multi-line text
  progressBar,
  statusBar,
};

struct ControlSpec {
  std::string_view Name;
  ControlKind Kind;
  std::string_view Parent;  // "Form3" for the window itself
  Rect Place96;             // all zero for the controls that PlaceDocked places
  std::string_view Text;
  bool Visible = true;
  bool Enabled = true;
};

inline constexpr std::string_view kCaption = " Boot Mode Shell for ZR48";
inline constexpr std::string_view kFormName = "Form3";
inline constexpr int kClientWidth = 688, kClientHeight = 471;
inline constexpr std::string_view kFontName = "Tahoma";
inline constexpr int kFontPoints = 8, kFontPixels = 11;  // 11 pixels high at 96 dpi
inline constexpr int kPanel1Width = 153, kProgressHeight = 22, kStatusHeight = 19;
inline constexpr std::array<int, 7> kStatusPanelWidths{100, 200, 50, 50, 100, 100, 50};
inline constexpr std::array<std::string_view, 3> kLinkKinds{"UART", "Bluetooth", "WiFi"};
inline constexpr std::string_view kPageCaption = "Boot mode";

// Parent-first, so that a view can create the rows in order.
std::span<const ControlSpec> Controls();
// The row named Name; throws std::out_of_range for a name the window does not have.
const ControlSpec& Control(std::string_view Name);
// Where radio item Index sits in RadioGroup1, at 96 dpi: the items share the group's height
// below a caption line, as a radio group spaces them.
Rect RadioItemPlace(int Index);

// Value at 96 dpi in pixels at Scale; a rectangle's edges are rounded, so that neighbours meet.
int Px(int Value96, double Scale);
Rect Scaled(const Rect& At96, double Scale);

// Panel1 and PageControl1 share the height above the bars; the bars span the width. Pixels.
struct DockedPlaces {
  Rect Panel1, PageControl1, ProgressBar1, StatusBar1;
};
DockedPlaces PlaceDocked(int ClientWidth, int ClientHeight, double Scale);

}  // namespace bootshell::window
