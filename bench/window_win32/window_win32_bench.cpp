// The native window at work: a paced transfer from the "Send" click to the panel
// "File <name> written", how often the status bar and the log were painted meanwhile, and what
// the connected, idle window then costs in CPU, and where the GUI thread's time went per cycle
// (the loop's passes and waits, and what setting and painting each control took). The window
// is driven by its controls' messages from inside the "Connect" loop, as an operator's clicks
// would come.
//   bench_window_win32.exe COM<n> IMAGE [IDLE_SECONDS]   (the link: Bluetooth, 921600 baud)
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/win32/form3_win32.h"
#include "app/win32/wide_text.h"
#include "loader/loader_events.h"
#include "process_cpu.h"
#include "serialkit/platform/application.h"

namespace {

using Clock = std::chrono::steady_clock;
using bootshell::win32::TForm3;

double Seconds(Clock::duration D) {
  return std::chrono::duration<double>(D).count();
}

std::string Panel(TForm3& Form, int Index) {
  wchar_t text[256] = {};
  ::SendMessageW(Form.Control("StatusBar1"), SB_GETTEXTW, Index, reinterpret_cast<LPARAM>(text));
  return bootshell::win32::Utf8(text);
}

// The paints of one control while counting is on, and the longest time between two of them.
struct PaintCount {
  bool On = false;
  int Paints = 0;
  Clock::time_point Last{};
  Clock::duration LongestGap{};

  void Start() {
    On = true;
    Last = Clock::now();
  }
  void Painted() {
    if (!On) return;
    const auto now = Clock::now();
    LongestGap = std::max(LongestGap, now - Last);
    Last = now;
    ++Paints;
  }
  void Stop() {
    if (!On) return;
    LongestGap = std::max(LongestGap, Clock::now() - Last);
    On = false;
  }
};

LRESULT CALLBACK CountPaints(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam, UINT_PTR,
                             DWORD_PTR Count) {
  if (Message == WM_PAINT) reinterpret_cast<PaintCount*>(Count)->Painted();
  return ::DefSubclassProc(Window, Message, WParam, LParam);
}

// How many calls, and the time they took.
struct Calls {
  int Count = 0;
  Clock::duration Took{};
  void Add(Clock::duration D) {
    ++Count;
    Took += D;
  }
};

// Time spent in some messages of one control, from the subclass's call on (what the control
// sends on within it counts as its own).
struct MessageTally {
  bool On = false;
  struct Row {
    UINT Message;
    const char* Name;
    Calls Spent{};
  };
  std::vector<Row> Rows;
};

LRESULT CALLBACK TimeMessages(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam, UINT_PTR,
                              DWORD_PTR Tally) {
  auto& tally = *reinterpret_cast<MessageTally*>(Tally);
  const auto row = std::find_if(tally.Rows.begin(), tally.Rows.end(),
                                [&](const MessageTally::Row& R) { return R.Message == Message; });
  if (!tally.On || row == tally.Rows.end())
    return ::DefSubclassProc(Window, Message, WParam, LParam);
  const auto from = Clock::now();
  const LRESULT result = ::DefSubclassProc(Window, Message, WParam, LParam);
  row->Spent.Add(Clock::now() - from);
  return result;
}

// The window with the loop's serving calls timed: its passes between turns and its waits, and
// the time from an answer (on the port's worker) to the return of the wait it ends.
class TracedForm : public TForm3 {
 public:
  using TForm3::TForm3;
  std::atomic<bool> On{false};
  Calls Passes, Waits, Wakes;

  void ProcessMessages() override {
    Timed(Passes, [this] { TForm3::ProcessMessages(); });
  }
  void ProcessMessagesWaiting(std::uint32_t TimeoutMs) override {
    const int before = answers_.load();
    Timed(Waits, [&] { TForm3::ProcessMessagesWaiting(TimeoutMs); });
    if (On && answers_.load() != before)
      Wakes.Add(Clock::now() - Clock::time_point(Clock::duration(answerAt_.load())));
  }
  void Answer(std::int32_t Tag, const std::string& Text) override {
    answerAt_ = Clock::now().time_since_epoch().count();
    ++answers_;
    TForm3::Answer(Tag, Text);
  }

 private:
  template <class Fn>
  void Timed(Calls& Into, Fn&& Call) {
    const auto from = Clock::now();
    Call();
    if (On) Into.Add(Clock::now() - from);
  }
  std::atomic<int> answers_{0};
  std::atomic<Clock::rep> answerAt_{0};
};

// The operator's clock: it hears the loader after the window has, so "Send" goes once the
// device has answered the handshake; the transfer ends when the status bar is given the text
// that says so, which the window may put there a little after the loader's event.
class Operator : public bootshell::loader::LoaderEvents {
 public:
  Operator(TracedForm& Form, std::uint32_t IdleMs)
      : form_(Form), idleMs_(IdleMs), self_(sk::platform::CurrentThreadId()) {
    timer_ = app_.CreateTimer([this] { Tick(); });
    // A transfer that never ends still ends the run.
    app_.SetTimer(timer_, 60000);
    ::SetWindowSubclass(form_.Control("StatusBar1"), WatchStatusBar, 1,
                        reinterpret_cast<DWORD_PTR>(this));
    ::SetWindowSubclass(form_.Control("Memo1"), CountPaints, 1,
                        reinterpret_cast<DWORD_PTR>(&logPaints_));
    for (auto& [name, tally] : tallies_)
      ::SetWindowSubclass(form_.Control(name), TimeMessages, 2,
                          reinterpret_cast<DWORD_PTR>(&tally));
    form_.Session().SetWatcher(this);
  }
  ~Operator() override {
    form_.Session().SetWatcher(nullptr);
    ::RemoveWindowSubclass(form_.Control("StatusBar1"), WatchStatusBar, 1);
    ::RemoveWindowSubclass(form_.Control("Memo1"), CountPaints, 1);
    for (auto& [name, tally] : tallies_)
      ::RemoveWindowSubclass(form_.Control(name), TimeMessages, 2);
    app_.DestroyTimer(timer_);
  }
  Operator(const Operator&) = delete;
  Operator& operator=(const Operator&) = delete;

  void HandshakeAnswered(std::uint32_t) override {
    app_.PostCall(self_, [this] {
      Click("BitBtn1");  // the dialog runner names the image
      sendAt_ = Clock::now();
      sendCpu_ = ProcessCpuSeconds();
      barPaints_.Start();
      logPaints_.Start();
      Trace(true);
      Click("BitBtn2");
    });
  }
  void ImageWritten(const std::string& Name) override {
    written_ = L"File " + bootshell::win32::Wide(Name) + L" written";
  }
  void Answer(std::int32_t, const std::string&) override { ++answers_; }
  void BlockSent(std::int64_t, std::int64_t) override {
    if (form_.On) sentAt_ = Clock::now();
  }
  void BlockAcknowledged(std::int64_t, std::int64_t) override {
    if (!form_.On) return;
    ++cycles_;
    onLine_ += Clock::now() - sentAt_;
  }

  // Per cycle of the transfer: where the GUI thread's time went.
  void PrintBreakdown() const {
    if (cycles_ == 0) return;
    const auto us = [&](Clock::duration D) {
      return std::chrono::duration<double, std::micro>(D).count() / double(cycles_);
    };
    const auto n = [&](int Count) { return double(Count) / double(cycles_); };
    std::printf("Per cycle (%d cycles), count x wall:\n", cycles_);
    std::printf("  block sent to acknowledged %8.0f us, of the cycle %8.0f us\n", us(onLine_),
                us(writtenAt_ - sendAt_));
    std::printf("  loop passes %6.2f x %8.0f us, waits %6.2f x %8.0f us\n", n(form_.Passes.Count),
                us(form_.Passes.Took), n(form_.Waits.Count), us(form_.Waits.Took));
    std::printf("  answer to the return of its wait %6.2f x %8.0f us\n", n(form_.Wakes.Count),
                us(form_.Wakes.Took));
    for (const auto& [name, tally] : tallies_)
      for (const auto& row : tally.Rows)
        std::printf("  %-12s %-14s %6.2f x %8.0f us\n", name, row.Name, n(row.Spent.Count),
                    us(row.Spent.Took));
  }

  bool Written() const { return phase_ == Phase::done; }
  double TransferSeconds() const { return Seconds(writtenAt_ - sendAt_); }
  double TransferCpuPercent() const { return 100 * transferCpu_ / TransferSeconds(); }
  double IdleCpuPercent() const { return 100 * idleCpu_ / idleWall_; }
  double IdleSeconds() const { return idleWall_; }
  const PaintCount& BarPaints() const { return barPaints_; }
  const PaintCount& LogPaints() const { return logPaints_; }
  int Answers() const { return answers_; }

 private:
  enum class Phase { transfer, settling, idle, done };

  void Click(const char* Name) { ::SendMessageW(form_.Control(Name), BM_CLICK, 0, 0); }

  static LRESULT CALLBACK WatchStatusBar(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam,
                                         UINT_PTR, DWORD_PTR Self) {
    auto* self = reinterpret_cast<Operator*>(Self);
    if (Message == WM_PAINT) self->barPaints_.Painted();
    const LRESULT result = ::DefSubclassProc(Window, Message, WParam, LParam);
    if (Message == SB_SETTEXTW && (WParam & 0xFF) == 1 && self->phase_ == Phase::transfer &&
        !self->written_.empty() && reinterpret_cast<const wchar_t*>(LParam) == self->written_)
      self->Shown();
    return result;
  }

  void Trace(bool On) {
    form_.On = On;
    for (auto& [name, tally] : tallies_) tally.On = On;
  }

  void Shown() {
    writtenAt_ = Clock::now();
    Trace(false);
    transferCpu_ = ProcessCpuSeconds() - sendCpu_;
    barPaints_.Stop();
    logPaints_.Stop();
    // The last answers' lines and paints settle before the idle time is counted.
    phase_ = Phase::settling;
    app_.SetTimer(timer_, 500);
  }

  void Tick() {
    switch (phase_) {
      case Phase::transfer:
        std::fprintf(stderr, "no \"written\" in time; panels: %s | %s\n", Panel(form_, 0).c_str(),
                     Panel(form_, 1).c_str());
        break;
      case Phase::settling:
        phase_ = Phase::idle;
        idleCpuAt_ = ProcessCpuSeconds();
        idleAt_ = Clock::now();
        app_.SetTimer(timer_, idleMs_);
        return;
      case Phase::idle:
        idleCpu_ = ProcessCpuSeconds() - idleCpuAt_;
        idleWall_ = Seconds(Clock::now() - idleAt_);
        phase_ = Phase::done;
        break;
      case Phase::done:
        return;
    }
    app_.KillTimer(timer_);
    Click("Button2");  // "Exit": the loop ends and "Connect" returns
  }

  sk::platform::TApplication& app_ = sk::platform::Application();
  TracedForm& form_;
  const std::uint32_t idleMs_;
  const sk::platform::TThreadID self_;
  sk::platform::TTimerID timer_;
  Phase phase_ = Phase::transfer;
  Clock::time_point sendAt_{}, writtenAt_{}, idleAt_{};
  double sendCpu_ = 0, transferCpu_ = 0;
  double idleCpuAt_ = 0, idleCpu_ = 0, idleWall_ = 0;
  std::wstring written_;  // the panel's text once the loader has written the image
  PaintCount barPaints_, logPaints_;
  std::atomic<int> answers_{0};  // counted on the port's worker
  int cycles_ = 0;
  Clock::time_point sentAt_{};
  Clock::duration onLine_{};
  std::array<std::pair<const char*, MessageTally>, 3> tallies_{
      {{"Memo1", {false, {{EM_REPLACESEL, "EM_REPLACESEL"}, {WM_PAINT, "WM_PAINT"}}}},
       {"StatusBar1", {false, {{SB_SETTEXTW, "SB_SETTEXT"}, {WM_PAINT, "WM_PAINT"}}}},
       {"ProgressBar1", {false, {{PBM_SETPOS, "PBM_SETPOS"}, {WM_PAINT, "WM_PAINT"}}}}}};
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s COM<n> IMAGE [IDLE_SECONDS]\n", argv[0]);
    return 2;
  }
  const std::string port = argv[1], image = argv[2];
  const double idleSeconds = argc > 3 ? std::atof(argv[3]) : 5.0;
  const std::string name = image.substr(image.find_last_of("\\/") + 1);

  TracedForm form(SW_SHOWNOACTIVATE);
  HWND box = form.Control("skDeviceBox1");
  const LRESULT item =
      ::SendMessageW(box, CB_FINDSTRING, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(bootshell::win32::Wide(port).c_str()));
  if (item == CB_ERR) {
    std::fprintf(stderr, "%s is not in the chooser\n", port.c_str());
    return 1;
  }
  ::SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
  ::SendMessageW(::GetParent(box), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(box), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(box));
  ::SendMessageW(form.RadioItem(1), BM_CLICK, 0, 0);  // Bluetooth: 921600
  form.SetDialogRunner([&](OPENFILENAMEW&) { return std::optional<std::string>(image); });

  Operator hands(form, static_cast<std::uint32_t>(idleSeconds * 1000));
  ::SendMessageW(form.Control("Button8"), BM_CLICK, 0, 0);  // returns when the loop ends
  if (!hands.Written() || Panel(form, 1) != "File " + name + " written") {
    std::fprintf(stderr, "the transfer did not end written: panel 1 \"%s\"\n",
                 Panel(form, 1).c_str());
    return 1;
  }
  // Every answer has its line in the log, after its first line "Log".
  const std::string log = bootshell::win32::WindowText(form.Control("Memo1"));
  int lines = 0;
  for (std::size_t at = log.find("\r\n"); at != std::string::npos; at = log.find("\r\n", at + 2))
    ++lines;
  const double transfer = hands.TransferSeconds();
  std::printf("Window transfer: %.3f s from Send to \"File %s written\"\n", transfer, name.c_str());
  for (auto [what, count] :
       {std::pair{"status bar", &hands.BarPaints()}, {"log", &hands.LogPaints()}})
    std::printf("Painted the %s %.1f times a second, at most %.0f ms apart\n", what,
                count->Paints / transfer,
                std::chrono::duration<double, std::milli>(count->LongestGap).count());
  std::printf("CPU during the transfer: %.0f %% of a core\n", hands.TransferCpuPercent());
  std::printf("Log: %d answer lines of %d answers\n", lines, hands.Answers());
  hands.PrintBreakdown();
  std::printf("Idle connected window: %.2f %% of a core over %.1f s\n", hands.IdleCpuPercent(),
              hands.IdleSeconds());
  return lines == hands.Answers() ? 0 : 1;
}
