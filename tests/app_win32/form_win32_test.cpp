// The native window as a test drives it by the controls' own messages: the controls of the
// window's table in their places, the file choice with a dialog answered by the test, the
// chooser following the system's ports, and a whole transfer to the simulated device with "Exit",
// "Connect" again and a close meanwhile.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/shared/control_table.h"
#include "app/win32/form3_win32.h"
#include "app/win32/wide_text.h"
#include "loader/loader_events.h"
#include "platform_win32/installed_devices.h"
#include "platform_win32/port_broadcast.h"
#include "serialkit/platform/application.h"
#include "support/eventually.h"
#include "support/scratch_dir.h"

namespace {

namespace win = bootshell::window;
using bootshell::win32::TForm3;
using bootshell::win32::WindowText;

std::string Panel(TForm3& Form, int Index) {
  wchar_t text[256] = {};
  ::SendMessageW(Form.Control("StatusBar1"), SB_GETTEXTW, Index, reinterpret_cast<LPARAM>(text));
  return bootshell::win32::Utf8(text);
}

// How often What occurs in Text.
int Occurrences(const std::string& Text, const std::string& What) {
  int count = 0;
  for (std::size_t at = Text.find(What); at != std::string::npos; at = Text.find(What, at + 2))
    ++count;
  return count;
}

bool Shown(TForm3& Form, const char* Name) {
  return ::IsWindowVisible(Form.Control(Name)) != 0;
}

// The place of Control in its parent's client area.
win::Rect PlaceOf(HWND Control) {
  RECT r;
  ::GetWindowRect(Control, &r);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(Control), reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

class Form3Win32 : public ::testing::Test {
 protected:
  void SetUp() override {
    sk::platform::Application().SetErrorReport(
        [this](const std::string& Message) { errors_.push_back(Message); });
  }
  void TearDown() override { sk::platform::Application().SetErrorReport({}); }

  std::vector<std::string> errors_;
};

TEST_F(Form3Win32, ControlsSitInTheirPlacesWithTheirFirstTextsAndStates) {
  TForm3 form(SW_SHOWNOACTIVATE);
  const double scale = form.Scale();
  EXPECT_EQ(WindowText(form.Handle()), std::string(win::kCaption));
  RECT client;
  ::GetClientRect(form.Handle(), &client);
  EXPECT_EQ(client.right, win::Px(win::kClientWidth, scale));
  EXPECT_EQ(client.bottom, win::Px(win::kClientHeight, scale));
  const win::DockedPlaces docked = win::PlaceDocked(client.right, client.bottom, scale);
  for (const win::ControlSpec& row : win::Controls()) {
    HWND control = form.Control(row.Name);
    ASSERT_TRUE(control) << row.Name;
    HWND parent = row.Parent == win::kFormName ? form.Handle() : form.Control(row.Parent);
    EXPECT_EQ(::GetParent(control), parent) << row.Name;
    EXPECT_EQ(::IsWindowEnabled(control) != 0, row.Enabled) << row.Name;
    EXPECT_EQ((::GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0, row.Visible) << row.Name;
    if (row.Kind == win::ControlKind::button || row.Kind == win::ControlKind::edit ||
        row.Kind == win::ControlKind::memo) {
      EXPECT_EQ(WindowText(control), std::string(row.Text)) << row.Name;
    }
    if (row.Place96 != win::Rect{} && row.Kind != win::ControlKind::deviceBox) {
      EXPECT_EQ(PlaceOf(control), win::Scaled(row.Place96, scale)) << row.Name;
    }
  }
  EXPECT_EQ(PlaceOf(form.Control("Panel1")), docked.Panel1);
  EXPECT_EQ(PlaceOf(form.Control("ProgressBar1")), docked.ProgressBar1);
  EXPECT_EQ(PlaceOf(form.Control("StatusBar1")), docked.StatusBar1);

  int edges[8] = {};
  ASSERT_EQ(
      ::SendMessageW(form.Control("StatusBar1"), SB_GETPARTS, 8, reinterpret_cast<LPARAM>(edges)),
      7);
  EXPECT_EQ(edges[0], win::Px(100, scale));
  EXPECT_EQ(edges[6], win::Px(650, scale));
  for (int i = 0; i < 7; ++i) EXPECT_EQ(Panel(form, i), "") << i;
  EXPECT_EQ(form.LinkKind(), 0);
  EXPECT_EQ(WindowText(form.RadioItem(2)), "WiFi");

  LOGFONTW font{};
  ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(form.Control("Button8"), WM_GETFONT, 0, 0)),
               sizeof font, &font);
  EXPECT_STREQ(font.lfFaceName, L"Tahoma");
  EXPECT_EQ(font.lfHeight, -win::Px(win::kFontPixels, scale));
}

TEST_F(Form3Win32, FileChoiceEnablesSendOnlyForAFileThatExists) {
  testsupport::ScratchDir scratch;
  const std::string image = scratch / "image.brox";
  {
    std::FILE* f = std::fopen(image.c_str(), "wb");
    std::fclose(f);
  }
  TForm3 form(SW_HIDE);
  struct Case {
    std::optional<std::string> chosen;
    std::string edit1;
    bool send;
  } cases[] = {
      {std::nullopt, "Select file....", false},  // cancelled
      {image, image, true},
      {std::nullopt, image, true},  // cancelled again: the line still names the file
      {scratch / "missing.brox", scratch / "missing.brox", false},
      {scratch.Path().string(), scratch.Path().string(), false},  // a folder
  };
  for (const Case& c : cases) {
    form.SetDialogRunner([&](OPENFILENAMEW& Dialog) {
      EXPECT_STREQ(Dialog.lpstrTitle, L"Select firmware ...");
      EXPECT_STREQ(Dialog.lpstrFile, L"*.brox");
      EXPECT_STREQ(Dialog.lpstrDefExt, L"brox");
      EXPECT_EQ(std::wstring(Dialog.lpstrFilter, 28),
                std::wstring(L"firmware compressed\0*.brox\0", 27) + L'\0');
      EXPECT_EQ(Dialog.Flags, DWORD(OFN_EXPLORER | OFN_ENABLESIZING));
      return c.chosen;
    });
    ::SendMessageW(form.Control("BitBtn1"), BM_CLICK, 0, 0);
    EXPECT_EQ(WindowText(form.Control("Edit1")), c.edit1);
    EXPECT_EQ(::IsWindowEnabled(form.Control("BitBtn2")) != 0, c.send) << c.edit1;
  }
}

// The chooser follows the system's ports: one entered shows in the list once the system says
// so, and goes again when it is removed.
TEST_F(Form3Win32, ChooserFollowsAPortEnteredAndRemoved) {
  TForm3 form(SW_HIDE);
  HWND box = form.Control("skDeviceBox1");
  const auto listed = [box] {
    return ::SendMessageW(box, CB_FINDSTRING, static_cast<WPARAM>(-1),
                          reinterpret_cast<LPARAM>(L"COM97")) != CB_ERR;
  };
  ASSERT_FALSE(listed());
  const win32test::PortBroadcast com97(L"COM97");
  {
    win32test::SerialCommValue entered(L"\\Device\\Serial97", L"COM97");
    ASSERT_TRUE(entered.Written());
    win32test::Broadcast(sk::platform::DBT_DEVICEARRIVAL, &com97);
    EXPECT_TRUE(testsupport::ServeUntil(listed)) << "the port entered is listed";
  }
  win32test::Broadcast(sk::platform::DBT_DEVICEREMOVECOMPLETE, &com97);
  EXPECT_TRUE(testsupport::ServeUntil([&] { return !listed(); })) << "the port removed goes";
}

// The operator's hands while "Connect" runs its loop: each step is tried on every tick of a
// timer of this thread until it returns true, then the next. Past the deadline it presses
// "Exit" so that the test ends.
class Operator {
 public:
  using Step = std::function<bool()>;
  Operator(TForm3& Form, std::vector<Step> Steps) : form_(Form), steps_(std::move(Steps)) {
    start_ = ::GetTickCount();
    timer_ = app_.CreateTimer([this] { Tick(); });
    app_.SetTimer(timer_, 5);
  }
  ~Operator() { app_.DestroyTimer(timer_); }
  std::size_t StepsDone() const { return next_; }
  bool Finished() const { return next_ == steps_.size(); }

 private:
  void Tick() {
    if (Finished() || busy_) return;
    if (::GetTickCount() - start_ > 30000) {
      ::SendMessageW(form_.Control("Button2"), BM_CLICK, 0, 0);
      return;
    }
    busy_ = true;
    if (steps_[next_]()) ++next_;
    busy_ = false;
  }

  sk::platform::TApplication& app_ = sk::platform::Application();
  TForm3& form_;
  std::vector<Step> steps_;
  std::size_t next_ = 0;
  bool busy_ = false;
  DWORD start_;
  sk::platform::TTimerID timer_;
};

TEST_F(Form3Win32, LogKeepsEveryAnswerPastAnEditControlsDefaultLimit) {
  TForm3 form(SW_SHOWNOACTIVATE);
  // 36,000 characters of answers, in lines as the session hands them to the window.
  const std::string text = "<" + std::string(298, 'x') + ">";
  for (int i = 0; i < 120; ++i) form.Answer(2, text);
  const auto lines = [&] { return Occurrences(WindowText(form.Control("Memo1")), "\r\n" + text); };
  EXPECT_TRUE(testsupport::ServeUntil([&] { return lines() == 120; })) << lines() << " lines";
}

// Given by scripts/windows-window-test.sh: the simulated device's port and the image, whose
// flash that script checks after the run.
TEST_F(Form3Win32, WholeTransferThenExitConnectAgainAndCloseDuringTheLoop) {
  const char* port = std::getenv("SK_WINDOW_SIM_PORT");
  const char* image = std::getenv("SK_WINDOW_IMAGE");
  if (!port || !image) GTEST_SKIP() << "no simulated device given";
  TForm3 form(SW_SHOWNOACTIVATE);
  HWND box = form.Control("skDeviceBox1");
  const LRESULT item =
      ::SendMessageW(box, CB_FINDSTRING, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(bootshell::win32::Wide(port).c_str()));
  ASSERT_NE(item, CB_ERR) << port << " is not in the chooser";
  ::SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
  ::SendMessageW(::GetParent(box), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(box), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(box));
  ::SendMessageW(form.RadioItem(1), BM_CLICK, 0, 0);  // Bluetooth: 921600
  ASSERT_EQ(form.LinkKind(), 1);
  form.SetDialogRunner([&](OPENFILENAMEW&) { return std::optional<std::string>(image); });
  const std::string name = std::string(image).substr(std::string(image).find_last_of("\\/") + 1);

  const auto click = [&](const char* Name) {
    return [&form, Name] {
      ::SendMessageW(form.Control(Name), BM_CLICK, 0, 0);
      return true;
    };
  };
  // Counted on the port's worker, as the session reports them.
  struct AnswerCount : bootshell::loader::LoaderEvents {
    void Answer(std::int32_t, const std::string&) override { ++answers; }
    std::atomic<int> answers{0};
  } heard;
  form.Session().SetWatcher(&heard);
  {
    Operator hands(
        form,
        {[&] { return Shown(form, "PageControl1") && Shown(form, "Image1"); }, click("BitBtn1"),
         [&] { return ::IsWindowEnabled(form.Control("BitBtn2")) != 0; }, click("BitBtn2"),
         [&] { return Panel(form, 1) == "File " + name + " written"; }, click("Button2")});
    ::SendMessageW(form.Control("Button8"), BM_CLICK, 0, 0);  // returns when the loop ends
    ASSERT_TRUE(hands.Finished()) << "steps done: " << hands.StepsDone() << ", panels "
                                  << Panel(form, 0) << " | " << Panel(form, 1) << " | "
                                  << Panel(form, 4) << " | " << WindowText(form.Control("Memo1"))
                                  << " | open COM" << form.Components().Comm().ComPortNo() << ": "
                                  << form.Session().LastOpenError();
  }
  EXPECT_EQ(form.LoopsRunning(), 0);
  const std::string log = WindowText(form.Control("Memo1"));
  form.Session().SetWatcher(nullptr);
  EXPECT_EQ(log.rfind("Log\r\n<", 0), 0u) << log;
  // Each answer on a line of its own after "Log", none lost while the lines were held.
  const int lines = Occurrences(log, "\r\n<");
  EXPECT_GT(lines, 1);
  EXPECT_EQ(lines, heard.answers.load());
  EXPECT_EQ(::SendMessageW(form.Control("ProgressBar1"), PBM_GETPOS, 0, 0),
            ::SendMessageW(form.Control("ProgressBar1"), PBM_GETRANGE, FALSE, 0));
  // "Exit" leaves everything as it is.
  EXPECT_TRUE(Shown(form, "PageControl1"));
  EXPECT_EQ(WindowText(form.Control("Edit1")), image);

  {
    // "Connect" again at once; a close meanwhile waits for "Exit".
    bool stayedOpen = false;
    Operator hands(form, {[&] { return Panel(form, 2) != "" && Shown(form, "Image1"); },
                          [&] {
                            ::SendMessageW(form.Handle(), WM_CLOSE, 0, 0);
                            stayedOpen = form.Handle() != nullptr;
                            return true;
                          },
                          click("Button2")});
    ::SendMessageW(form.Control("Button8"), BM_CLICK, 0, 0);
    EXPECT_TRUE(hands.Finished()) << "steps done: " << hands.StepsDone();
    EXPECT_TRUE(stayedOpen);
  }
  EXPECT_TRUE(testsupport::ServeUntil([&] { return form.Handle() == nullptr; }))
      << "closed after the loop";
  EXPECT_TRUE(errors_.empty()) << errors_.front();
}

}  // namespace
