#include "app/shared/control_table.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace bootshell::window {

namespace {

using K = ControlKind;

constexpr ControlSpec kControls[] = {
    {"Panel1", K::panel, kFormName, {}, ""},
    {"skDeviceBox1", K::deviceBox, "Panel1", {11, 16, 128, 21}, ""},
    {"Button8", K::button, "Panel1", {11, 47, 128, 25}, "Connect"},
    {"Button2", K::button, "Panel1", {11, 78, 128, 25}, "Exit"},
    {"Image1", K::picture, "Panel1", {11, 150, 128, 128}, "", false},
    {"RadioGroup1", K::radioGroup, "Panel1", {11, 269, 128, 105}, ""},
    {"PageControl1", K::pageControl, kFormName, {}, "", false},
    {"TabSheet2", K::page, "PageControl1", {}, kPageCaption},
    {"Edit1", K::edit, "TabSheet2", {8, 16, 425, 21}, "Select file...."},
    {"BitBtn1", K::button, "TabSheet2", {439, 14, 35, 25}, "..."},
    {"BitBtn2", K::button, "TabSheet2", {480, 14, 43, 25}, "Send", true, false},
    {"Memo1", K::memo, "TabSheet2", {3, 45, 520, 338}, "Log"},
    {"ProgressBar1", K::progressBar, kFormName, {}, ""},
    {"StatusBar1", K::statusBar, kFormName, {}, ""},
};

}  // namespace

std::span<const ControlSpec> Controls() {
  return kControls;
}

const ControlSpec& Control(std::string_view Name) {
  const auto* row = std::find_if(std::begin(kControls), std::end(kControls),
                                 [&](const ControlSpec& c) { return c.Name == Name; });
  if (row == std::end(kControls))
    throw std::out_of_range("the main window has no control " + std::string(Name));
  return *row;
}

Rect RadioItemPlace(int Index) {
  constexpr int top = 14, height = (105 - top - 4) / 3;
  return {8, top + Index * height, 112, height};
}

int Px(int Value96, double Scale) {
  return static_cast<int>(std::lround(Value96 * Scale));
}

Rect Scaled(const Rect& At96, double Scale) {
  const int left = Px(At96.Left, Scale), top = Px(At96.Top, Scale);
  return {left, top, Px(At96.Left + At96.Width, Scale) - left,
          Px(At96.Top + At96.Height, Scale) - top};
}

DockedPlaces PlaceDocked(int ClientWidth, int ClientHeight, double Scale) {
  const int panel = Px(kPanel1Width, Scale), progress = Px(kProgressHeight, Scale);
  const int status = Px(kStatusHeight, Scale);
  const int bottom = ClientHeight - status - progress;
  return {{0, 0, panel, bottom},
          {panel, 0, ClientWidth - panel, bottom},
          {0, bottom, ClientWidth, progress},
          {0, ClientHeight - status, ClientWidth, status}};
}

}  // namespace bootshell::window
