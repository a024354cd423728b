#include "app/win32/form3_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "app/shared/control_table.h"
#include "app/shared/file_choice.h"
#include "app/win32/resource_ids.h"
#include "app/win32/wide_text.h"
#include "serialkit/core/exception.h"

namespace bootshell::win32 {

namespace {

namespace win = bootshell::window;
using win::ControlKind;

constexpr const wchar_t* kFormClass = L"BootshellForm3";
// Panel1 and TabSheet2: plain containers that hand their controls' notifications to the form.
constexpr const wchar_t* kContainerClass = L"BootshellContainer";
constexpr UINT kRunQueued = WM_APP + 1;
// What the loop's events change is shown at most every kShowWithin while it runs, above the 25
// times a second that a transfer must be painted at, instead of at every event: under an
// emulator a line added to the log costs milliseconds (its scroll bar), and every such cost
// holds up the loop's next step. The time to show it is best just after a data block has gone,
// when the loop has the block's time on the line (12 ms at 921600 baud) to wait anyway.
constexpr std::chrono::milliseconds kShowWithin{32};
constexpr std::chrono::milliseconds kShowAfterBlockFrom{15};
#ifndef WM_DPICHANGED
constexpr UINT WM_DPICHANGED = 0x02E0;
#endif

LRESULT CALLBACK ContainerProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  switch (Message) {
    case WM_COMMAND:
    case WM_NOTIFY:
      return ::SendMessageW(::GetAncestor(Window, GA_ROOT), Message, WParam, LParam);
    default:
      return ::DefWindowProcW(Window, Message, WParam, LParam);
  }
}

// A group box paints only its frame and caption, and the containers clip their children, so
// nothing would paint behind it: it fills its own background first.
LRESULT CALLBACK GroupBoxProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam, UINT_PTR Id,
                              DWORD_PTR) {
  if (Message == WM_ERASEBKGND) {
    RECT client;
    ::GetClientRect(Window, &client);
    ::FillRect(reinterpret_cast<HDC>(WParam), &client, ::GetSysColorBrush(COLOR_BTNFACE));
    return 1;
  }
  if (Message == WM_NCDESTROY) ::RemoveWindowSubclass(Window, GroupBoxProc, Id);
  return ::DefSubclassProc(Window, Message, WParam, LParam);
}

bool RegisterContainerClass() {
  WNDCLASSEXW container{};
  container.cbSize = sizeof container;
  container.lpfnWndProc = ContainerProc;
  container.hInstance = ::GetModuleHandleW(nullptr);
  container.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  container.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  container.lpszClassName = kContainerClass;
  return ::RegisterClassExW(&container) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// The monitor's dpi for Window where the system tells it per window, else the screen's.
UINT WindowDpi(HWND Window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpi = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpi && Window) return getDpi(Window);
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
  ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

void Move(HWND Control, const win::Rect& R) {
  ::MoveWindow(Control, R.Left, R.Top, R.Width, R.Height, TRUE);
}

// The part of a progress bar's client area between positions A and B, with the border and the
// block edges around it.
RECT ProgressStretch(HWND Bar, int A, int B) {
  PBRANGE range{};
  ::SendMessageW(Bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  RECT stretch;
  ::GetClientRect(Bar, &stretch);
  const auto x = [&](int Position) {
    const long long span = std::max(range.iHigh - range.iLow, 1);
    const long long at = std::clamp(Position, range.iLow, range.iHigh) - range.iLow;
    return static_cast<LONG>(stretch.right * at / span);
  };
  const LONG from = x(std::min(A, B)), to = x(std::max(A, B));
  stretch.left = std::max<LONG>(from - 4, 0);
  stretch.right = std::min<LONG>(to + 4, stretch.right);
  return stretch;
}

}  // namespace

void TForm3::GdiObjectDeleter::operator()(void* Object) const {
  ::DeleteObject(static_cast<HGDIOBJ>(Object));
}

void TForm3::IconDeleter::operator()(HICON Icon) const {
  ::DestroyIcon(Icon);
}

TForm3::TForm3(int ShowCommand)
    : app_(sk::platform::Application()),
      thread_(sk::platform::CurrentThreadId()),
      runDialog_([](OPENFILENAMEW& Dialog) -> std::optional<std::string> {
        if (!::GetOpenFileNameW(&Dialog)) return std::nullopt;
        return Utf8(Dialog.lpstrFile);
      }),
      session_(*this, *this) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_TAB_CLASSES |
                                                     ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  static const bool registered = RegisterContainerClass() && [] {
    WNDCLASSEXW form{};
    form.cbSize = sizeof form;
    form.style = CS_HREDRAW | CS_VREDRAW;
    form.lpfnWndProc = FormProc;
    form.hInstance = ::GetModuleHandleW(nullptr);
    form.hIcon = ::LoadIconW(form.hInstance, MAKEINTRESOURCEW(IDI_BOOTSHELL));
    form.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    form.lpszClassName = kFormClass;
    return ::RegisterClassExW(&form) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  if (!registered) throw sk::Exception("The main window's class cannot be registered");

  const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  form_ = ::CreateWindowExW(0, kFormClass, Wide(win::kCaption).c_str(), style, CW_USEDEFAULT,
                            CW_USEDEFAULT, win::kClientWidth, win::kClientHeight, nullptr, nullptr,
                            ::GetModuleHandleW(nullptr), this);
  if (!form_) throw sk::Exception("The main window cannot be created");
  scale_ = WindowDpi(form_) / 96.0;
  CreateControls();
  RECT frame{0, 0, win::Px(win::kClientWidth, scale_), win::Px(win::kClientHeight, scale_)};
  ::AdjustWindowRectEx(&frame, style, FALSE, 0);
  ::SetWindowPos(form_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ApplyScale();
  ::ShowWindow(form_, ShowCommand);
  ::UpdateWindow(form_);

  // The watcher's messages arrive on this (the GUI) thread through the application object.
  try {
    watcher_ = std::make_unique<sk::platform::DeviceWatcher>(
        [this](sk::platform::TDeviceChangeMessage& Msg) { skDeviceBox1->WMDeviceChange(Msg); });
  } catch (const sk::Exception&) {
    // The chooser still lists the ports present at start.
  }
}

TForm3::~TForm3() {
  watcher_.reset();
  if (form_) ::DestroyWindow(form_);
}

HWND TForm3::Control(std::string_view Name) const {
  const auto rows = win::Controls();
  const auto* row = &win::Control(Name);
  return controls_.at(static_cast<std::size_t>(row - rows.data()));
}

void TForm3::CreateControls() {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  const auto rows = win::Controls();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const win::ControlSpec& row = rows[i];
    HWND parent = row.Parent == win::kFormName ? form_.load() : Control(row.Parent);
    const wchar_t* kind = WC_BUTTONW;
    DWORD style = WS_CHILD | WS_TABSTOP, exStyle = 0;
    switch (row.Kind) {
      case ControlKind::panel:
        kind = kContainerClass;
        style = WS_CHILD | WS_BORDER | WS_CLIPCHILDREN;
        exStyle = WS_EX_CONTROLPARENT;
        break;
      case ControlKind::page:
        kind = kContainerClass;
        style = WS_CHILD | WS_CLIPCHILDREN;
        exStyle = WS_EX_CONTROLPARENT;
        break;
      case ControlKind::deviceBox:
        kind = WC_COMBOBOXW;
        style |= CBS_DROPDOWNLIST | WS_VSCROLL;
        break;
      case ControlKind::button:
        style |= BS_PUSHBUTTON;
        break;
      case ControlKind::picture:
        kind = WC_STATICW;
        style = WS_CHILD | SS_ICON | SS_REALSIZECONTROL;
        break;
      case ControlKind::radioGroup:
        style = WS_CHILD | BS_GROUPBOX;
        break;
      case ControlKind::pageControl:
        kind = WC_TABCONTROLW;
        style = WS_CHILD | WS_CLIPCHILDREN | WS_TABSTOP;
        break;
      case ControlKind::edit:
        kind = WC_EDITW;
        style |= ES_AUTOHSCROLL;
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case ControlKind::memo:
        kind = WC_EDITW;
        style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL;
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case ControlKind::progressBar:
        kind = PROGRESS_CLASSW;
        style = WS_CHILD;
        break;
      case ControlKind::statusBar:
        kind = STATUSCLASSNAMEW;
        style = WS_CHILD | CCS_NOPARENTALIGN | CCS_NORESIZE;
        break;
    }
    if (row.Visible) style |= WS_VISIBLE;
    if (!row.Enabled) style |= WS_DISABLED;
    const std::wstring text = Wide(row.Text);
    HWND control = ::CreateWindowExW(
        exStyle, kind, row.Kind == ControlKind::page ? L"" : text.c_str(), style, 0, 0, 0, 0,
        parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + int(i))), instance,
        nullptr);
    if (!control) throw sk::Exception("The control " + std::string(row.Name) + " cannot be made");
    controls_[i] = control;
    if (row.Kind == ControlKind::pageControl) {
      // The tab of its one page.
      static const std::wstring caption = Wide(win::kPageCaption);
      TCITEMW tab{};
      tab.mask = TCIF_TEXT;
      tab.pszText = const_cast<wchar_t*>(caption.c_str());
      ::SendMessageW(control, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&tab));
    }
  }
  ::SetWindowSubclass(Control("RadioGroup1"), GroupBoxProc, 1, 0);
  // The link kinds are the group box's: only their state is read, never their clicks.
  for (std::size_t i = 0; i < radio_.size(); ++i) {
    radio_[i] = ::CreateWindowExW(
        0, WC_BUTTONW, Wide(win::kLinkKinds[i]).c_str(),
        WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP | WS_TABSTOP : 0), 0, 0, 0,
        0, Control("RadioGroup1"),
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstRadioId + int(i))), instance, nullptr);
  }
  ::SendMessageW(radio_[0], BM_SETCHECK, BST_CHECKED, 0);
  ::SendMessageW(Control("ProgressBar1"), PBM_SETRANGE32, 0, 100);
  // The log takes as much text as the transfers give it: an edit control's own limit (30,000
  // characters) would drop the answers of a 1 MiB image's last cycles.
  ::SendMessageW(Control("Memo1"), EM_SETLIMITTEXT, 0, 0);

  skDeviceBox1 = std::make_unique<NativeDeviceBox>(Control("skDeviceBox1"));
  // Bound after skComm1's own settings, so the first list and selection are those of COM3.
  skDeviceBox1->SetskComm(&Components().Comm());
}

void TForm3::ApplyScale() {
  LOGFONTW face{};
  face.lfHeight = -win::Px(win::kFontPixels, scale_);
  face.lfCharSet = DEFAULT_CHARSET;
  face.lfQuality = CLEARTYPE_QUALITY;
  const std::wstring name = Wide(win::kFontName);
  std::copy(name.begin(), name.end(), face.lfFaceName);
  font_.reset(::CreateFontIndirectW(&face));
  const auto setFont = [this](HWND Control) {
    ::SendMessageW(Control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
  };
  for (HWND control : controls_) setFont(control);
  for (HWND item : radio_) setFont(item);

  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  const auto icon = [&](int Size) {
    return IconHandle(static_cast<HICON>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(IDI_BOOTSHELL), IMAGE_ICON, Size, Size, 0)));
  };
  const win::Rect picture = win::Control("Image1").Place96;
  picture_ = icon(win::Px(picture.Width, scale_));
  ::SendMessageW(Control("Image1"), STM_SETICON, reinterpret_cast<WPARAM>(picture_.get()), 0);
  bigIcon_ = icon(::GetSystemMetrics(SM_CXICON));
  smallIcon_ = icon(::GetSystemMetrics(SM_CXSMICON));
  ::SendMessageW(form_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
  ::SendMessageW(form_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));

  // The status bar's panels end where the sums of their widths put them.
  std::array<int, win::kStatusPanelWidths.size()> edges{};
  int right = 0;
  for (std::size_t i = 0; i < edges.size(); ++i)
    edges[i] = win::Px(right += win::kStatusPanelWidths[i], scale_);
  ::SendMessageW(Control("StatusBar1"), SB_SETPARTS, edges.size(),
                 reinterpret_cast<LPARAM>(edges.data()));
  PlaceControls();
}

void TForm3::PlaceControls() {
  const auto rows = win::Controls();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].Place96 == win::Rect{}) continue;
    win::Rect r = win::Scaled(rows[i].Place96, scale_);
    // A drop-down list's height is that of its list: room for eight items.
    if (rows[i].Kind == ControlKind::deviceBox) r.Height += win::Px(8 * 16, scale_);
    Move(controls_[i], r);
  }
  for (std::size_t i = 0; i < radio_.size(); ++i)
    Move(radio_[i], win::Scaled(win::RadioItemPlace(static_cast<int>(i)), scale_));
  RECT client;
  ::GetClientRect(form_, &client);
  const win::DockedPlaces at = win::PlaceDocked(client.right, client.bottom, scale_);
  Move(Control("Panel1"), at.Panel1);
  Move(Control("PageControl1"), at.PageControl1);
  Move(Control("ProgressBar1"), at.ProgressBar1);
  Move(Control("StatusBar1"), at.StatusBar1);
  RECT page{0, 0, at.PageControl1.Width, at.PageControl1.Height};
  ::SendMessageW(Control("PageControl1"), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
  Move(Control("TabSheet2"), {page.left, page.top, page.right - page.left, page.bottom - page.top});
}

LRESULT CALLBACK TForm3::FormProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  if (Message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(LParam);
    ::SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* form = reinterpret_cast<TForm3*>(::GetWindowLongPtrW(Window, GWLP_USERDATA));
  // Controls are made after the window; what comes before them is the system's.
  if (!form || !form->controls_.back()) return ::DefWindowProcW(Window, Message, WParam, LParam);
  return form->OnMessage(Message, WParam, LParam);
}

LRESULT TForm3::OnMessage(UINT Message, WPARAM WParam, LPARAM LParam) {
  switch (Message) {
    case WM_COMMAND:
      OnCommand(LOWORD(WParam), HIWORD(WParam));
      return 0;
    case WM_SIZE:
      PlaceControls();
      return 0;
    case WM_DPICHANGED: {
      scale_ = HIWORD(WParam) / 96.0;
      const RECT* suggested = reinterpret_cast<const RECT*>(LParam);
      ::SetWindowPos(form_, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      ApplyScale();
      return 0;
    }
    case kRunQueued:
      RunQueued();
      return 0;
    case WM_CLOSE:
      if (closeRule_.MayClose()) ::DestroyWindow(form_);
      return 0;
    case WM_DESTROY:
      ::SetWindowLongPtrW(form_, GWLP_USERDATA, 0);
      form_ = nullptr;
      return 0;
    default:
      return ::DefWindowProcW(form_, Message, WParam, LParam);
  }
}

void TForm3::OnCommand(int Id, int Code) {
  const int row = Id - kFirstControlId;
  if (row < 0 || row >= static_cast<int>(controls_.size())) return;
  const std::string_view name = window::Controls()[static_cast<std::size_t>(row)].Name;
  if (name == "skDeviceBox1") {
    if (Code == CBN_SELCHANGE) skDeviceBox1->Change();
    return;
  }
  if (Code != BN_CLICKED) return;
  if (name == "Button8")
    Button8Click();
  else if (name == "Button2")
    Button2Click();
  else if (name == "BitBtn1")
    BitBtn1Click();
  else if (name == "BitBtn2")
    BitBtn2Click();
}

void TForm3::Button8Click() {
  closeRule_.LoopStarted();
  try {
    session_.Connect();
  } catch (...) {
    app_.ShowException();  // nothing may leave a window procedure
  }
  ShowDue(true);
  // A close asked for while the loop ran takes effect now that the last one has ended.
  if (closeRule_.LoopEnded() && form_) ::PostMessageW(form_, WM_CLOSE, 0, 0);
}

void TForm3::Button2Click() {
  session_.Stop();
}

void TForm3::BitBtn1Click() {
  HWND edit = Control("Edit1");
  const window::FileChoice choice =
      window::ChooseFile(WindowText(edit), [this](const window::FileDialogSettings& Od2) {
        const std::wstring filter = Wide(Od2.FilterName) + L'\0' + Wide(Od2.FilterPattern) + L'\0';
        const std::wstring title = Wide(Od2.Title), extension = Wide(Od2.DefaultExtension);
        std::wstring file = Wide(Od2.InitialName);
        file.resize(32768, L'\0');
        OPENFILENAMEW dialog{};
        dialog.lStructSize = sizeof dialog;
        dialog.hwndOwner = form_;
        dialog.lpstrFilter = filter.c_str();  // the second terminator is the string's own
        dialog.nFilterIndex = 1;
        dialog.lpstrFile = file.data();
        dialog.nMaxFile = static_cast<DWORD>(file.size());
        dialog.lpstrTitle = title.c_str();
        dialog.lpstrDefExt = extension.c_str();
        // The explorer kind of dialog, resizable; the chosen file need not exist.
        dialog.Flags = OFN_EXPLORER | OFN_ENABLESIZING;
        return runDialog_(dialog);
      });
  ::SetWindowTextW(edit, Wide(choice.Edit1).c_str());
  ::EnableWindow(Control("BitBtn2"), choice.SendEnabled);
}

void TForm3::BitBtn2Click() {
  session_.Send(WindowText(Control("Edit1")));
}

int TForm3::LinkKind() const {
  for (std::size_t i = 0; i < radio_.size(); ++i)
    if (::SendMessageW(radio_[i], BM_GETCHECK, 0, 0) == BST_CHECKED) return static_cast<int>(i);
  return -1;
}

void TForm3::ProcessMessages() {
  ShowDue(false);
  app_.ProcessMessages();
}

void TForm3::ProcessMessagesWaiting(std::uint32_t TimeoutMs) {
  ShowDue(false);
  // What is left due is shown when its time comes, whatever the wait.
  if (due_) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        shownAt_ + kShowWithin - std::chrono::steady_clock::now());
    TimeoutMs = std::min<std::uint32_t>(
        TimeoutMs, static_cast<std::uint32_t>(std::max<std::int64_t>(left.count(), 0)));
  }
  // Waits in the system's queue: input, the window's messages and the port's all end it.
  app_.ProcessMessages(TimeoutMs);
}

void TForm3::WakeUp() {
  app_.WakeUp(thread_);
}

void TForm3::BlockSent(std::int64_t Position, std::int64_t Cycle) {
  WindowPresenter::BlockSent(Position, Cycle);
  blockOnLine_ = true;
}

void TForm3::ShowDue(bool Force) {
  const bool afterBlock = std::exchange(blockOnLine_, false);
  if (!due_) return;
  const auto now = std::chrono::steady_clock::now();
  const auto since = now - shownAt_;
  if (!Force && since < kShowWithin && !(afterBlock && since >= kShowAfterBlockFrom)) return;
  due_ = false;
  shownAt_ = now;
  HWND bar = Control("StatusBar1");
  std::array<bool, std::tuple_size_v<decltype(panelsDue_)>> changed{};
  for (std::size_t i = 0; i < panelsDue_.size(); ++i) changed[i] = panelsDue_[i] != panelsShown_[i];
  // A status bar paints at once for each text it is given: several go in one paint, of only
  // the panels that changed (under an emulator the whole bar costs milliseconds).
  const bool batch = std::count(changed.begin(), changed.end(), true) > 1;
  if (batch) ::SendMessageW(bar, WM_SETREDRAW, FALSE, 0);
  for (std::size_t i = 0; i < panelsDue_.size(); ++i) {
    if (!changed[i]) continue;  // an unchanged text repaints nothing
    panelsShown_[i] = panelsDue_[i];
    ::SendMessageW(bar, SB_SETTEXTW, static_cast<WPARAM>(i),
                   reinterpret_cast<LPARAM>(panelsShown_[i].c_str()));
  }
  if (batch) {
    ::SendMessageW(bar, WM_SETREDRAW, TRUE, 0);
    for (std::size_t i = 0; i < changed.size(); ++i) {
      RECT part;
      if (changed[i] && ::SendMessageW(bar, SB_GETRECT, i, reinterpret_cast<LPARAM>(&part)))
        ::InvalidateRect(bar, &part, TRUE);
    }
  }
  if (progressDue_ != progressShown_) {
    // The bar too paints at once when given a position: it goes with the next paint instead,
    // of only the stretch between the old position and the new.
    HWND progress = Control("ProgressBar1");
    const RECT stretch = ProgressStretch(progress, progressShown_, progressDue_);
    progressShown_ = progressDue_;
    ::SendMessageW(progress, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(progress, PBM_SETPOS, static_cast<WPARAM>(progressShown_), 0);
    ::SendMessageW(progress, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(progress, &stretch, TRUE);
  }
  if (!memoDue_.empty()) {
    // The lines that came meanwhile go in one replacement: one scroll and repaint for them all.
    HWND memo = Control("Memo1");
    const int end = ::GetWindowTextLengthW(memo);
    ::SendMessageW(memo, EM_SETSEL, static_cast<WPARAM>(end), end);
    ::SendMessageW(memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(memoDue_.c_str()));
    memoDue_.clear();
  }
}

void TForm3::MarkDue() {
  due_ = true;
  if (LoopsRunning() == 0) ShowDue(true);  // no loop to show it: at once
}

void TForm3::SetStatusPanel(int Index, const std::string& Text) {
  panelsDue_.at(static_cast<std::size_t>(Index)) = Wide(Text);
  MarkDue();
}

void TForm3::SetProgressRange(int Min, int Max) {
  ShowDue(true);  // a position due belongs to the range before
  ::SendMessageW(Control("ProgressBar1"), PBM_SETRANGE32, static_cast<WPARAM>(Min), Max);
  progressShown_ = progressDue_ =
      static_cast<int>(::SendMessageW(Control("ProgressBar1"), PBM_GETPOS, 0, 0));
}

void TForm3::SetProgressPosition(int Value) {
  progressDue_ = Value;
  MarkDue();
}

void TForm3::ShowImage1(bool Shown) {
  ::ShowWindow(Control("Image1"), Shown ? SW_SHOW : SW_HIDE);
}

void TForm3::ShowPageControl1() {
  ::ShowWindow(Control("PageControl1"), SW_SHOW);
}

void TForm3::AppendToMemo1(const std::string& Line) {
  memoDue_ += L"\r\n" + Wide(Line);
  MarkDue();
}

void TForm3::RunOnGuiThread(std::function<void()> Fn) {
  {
    std::lock_guard lock(queuedMutex_);
    queued_.push_back(std::move(Fn));
  }
  // A window message: served by the loop's waits, the program's loop and modal dialogs alike.
  if (HWND form = form_) ::PostMessageW(form, kRunQueued, 0, 0);
}

void TForm3::RunQueued() {
  std::vector<std::function<void()>> due;
  {
    std::lock_guard lock(queuedMutex_);
    due.swap(queued_);
  }
  for (auto& fn : due) fn();
}

}  // namespace bootshell::win32
