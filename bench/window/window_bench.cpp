// The main window at work, on Qt's offscreen platform: how long an answer takes from the
// pseudo-terminal to its line in the log, how close a paced transfer through the window comes
// to the wire time, and what a connected, idle window costs.
#include <benchmark/benchmark.h>
#include <time.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMetaEnum>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "app/form3.h"
#include "boot/transfer_script.h"
#include "cipher/memory_stream.h"
#include "cipher/rc6.h"
#include "loader/chunk_rule.h"
#include "loader/firmware_key.h"
#include "loader/firmware_loader.h"
#include "loader/frames.h"
#include "loader/link_kind.h"
#include "loader_rig.h"
#include "serialkit/testing/pseudo_terminal.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"

namespace {

using Clock = std::chrono::steady_clock;
using bootshell::app::TForm3;
using namespace bootshell::loader;

double ProcessCpuSeconds() {
  timespec ts{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double Percentile(std::vector<double> Sorted, double P) {
  const auto index = static_cast<std::size_t>(P * static_cast<double>(Sorted.size() - 1) + 0.5);
  return Sorted[std::min(index, Sorted.size() - 1)];
}

template <class T = QWidget>
T* Find(TForm3& Form, const char* Name) {
  return Form.findChild<T*>(QString::fromLatin1(Name));
}

// A window with a port map of its own, in which a simulator enters itself as COM3 or the
// benchmark links a pseudo-terminal as COM3.
template <class Form = TForm3>
struct WindowRig {
  WindowRig() {
    ::setenv("SK_PORTMAP_DIR", Ports().c_str(), 1);
    form = std::make_unique<Form>();
    form->show();
  }
  std::filesystem::path Ports() const { return scratch.Path() / "ports"; }
  void LinkCom3(const std::string& Path) const {
    std::filesystem::create_directories(Ports());
    std::filesystem::create_symlink(Path, Ports() / "com3");
  }
  // The chooser learns of a port entered after the window opened from the device watcher, a
  // moment later: "Connect" before that would open whichever port it showed.
  bool WaitForCom3() const {
    auto* box = Find<QComboBox>(*form, "skDeviceBox1");
    QElapsedTimer limit;
    limit.start();
    while (!box->currentText().startsWith(QStringLiteral("COM3"))) {
      if (limit.elapsed() > 10000) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
  }
  ~WindowRig() {
    form.reset();
    ::unsetenv("SK_PORTMAP_DIR");
  }
  // Runs Tick every millisecond while "Connect" runs its loop, which Tick ends with "Exit".
  void RunLoop(std::function<void()> Tick) {
    QTimer hands;
    QObject::connect(&hands, &QTimer::timeout, Tick);
    hands.start(1);
    form->Button8Click();
  }
  testsupport::ScratchDir scratch;
  std::unique_ptr<Form> form;
};

// From the device writing an answer on the pseudo-terminal to the answer's line appearing in
// Memo1 on the GUI thread, while the loader loop waits connected and idle.
void BM_AnswerToMemo1Line(benchmark::State& state) {
  const int answers = static_cast<int>(state.range(0));
  sk::platform::PseudoTerminal device;
  WindowRig<> rig;
  rig.LinkCom3(device.SlavePath());
  if (!rig.WaitForCom3()) return state.SkipWithError("the chooser never showed COM3");
  auto* log = Find<QPlainTextEdit>(*rig.form, "Memo1");

  std::mutex mutex;
  std::condition_variable appended;
  std::vector<Clock::time_point> lineAt;
  QObject::connect(log->document(), &QTextDocument::blockCountChanged, [&] {
    const auto now = Clock::now();
    std::lock_guard lock(mutex);
    lineAt.push_back(now);
    appended.notify_all();
  });
  std::vector<double> micros;
  bool failed = false;
  for (auto _ : state) {
    // The device: answers the first handshake, then writes one answer at a time and waits for
    // its line.
    std::thread player([&] {
      // Until the loop opens the port no slave end is open, and the master end reads as hung up.
      std::vector<std::uint8_t> handshake;
      for (const auto until = Clock::now() + std::chrono::seconds(5);
           handshake.size() < 8 && Clock::now() < until;) {
        const auto got = device.Read(8 - handshake.size(), 100);
        handshake.insert(handshake.end(), got.begin(), got.end());
        if (got.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      const std::string greeting = "answerB0ready answerE0";
      device.Write({greeting.begin(), greeting.end()});
      const std::string text = "answerB2Written 1024 bytes at 0x08002000answerE2";
      const std::vector<std::uint8_t> answer(text.begin(), text.end());
      std::unique_lock lock(mutex);
      if (!appended.wait_for(lock, std::chrono::seconds(10), [&] { return !lineAt.empty(); }))
        failed = true;
      for (int i = -50; i < answers && !failed; ++i) {  // the first 50 warm up
        const std::size_t before = lineAt.size();
        lock.unlock();
        const auto written = Clock::now();
        device.Write(answer);
        lock.lock();
        if (!appended.wait_for(lock, std::chrono::seconds(10),
                               [&] { return lineAt.size() > before; })) {
          failed = true;
          break;
        }
        if (i >= 0)
          micros.push_back(
              std::chrono::duration<double, std::micro>(lineAt[before] - written).count());
      }
      lock.unlock();
      QMetaObject::invokeMethod(rig.form.get(), [&] { rig.form->Button2Click(); });
    });
    rig.form->Button8Click();
    player.join();
  }
  if (failed || micros.empty()) return state.SkipWithError("answers did not reach the log");
  std::sort(micros.begin(), micros.end());
  state.counters["answers"] = static_cast<double>(micros.size());
  state.counters["median_us"] = Percentile(micros, 0.5);
  state.counters["p99_us"] = Percentile(micros, 0.99);
  state.counters["max_us"] = micros.back();
}
BENCHMARK(BM_AnswerToMemo1Line)->Arg(2000)->Iterations(1)->Unit(benchmark::kMillisecond);

std::string MakeImage(const testsupport::ScratchDir& Dir, std::size_t Size) {
  sk::ByteString plain(Size);
  std::mt19937 rng(42);
  for (auto& b : plain) b = static_cast<sk::Byte>(rng());
  bootshell::cipher::MemoryStream image(std::move(plain));
  bootshell::cipher::RC6EncryptStream(image, sk::ToBytes(bootshell::FirmwareKey), image.Size());
  return Dir.WriteFile("image.brox", std::string(image.Data().begin(), image.Data().end()));
}

// The operator's script, noting when the loader has loaded the image and is about to send its
// first frame, when each block is acknowledged, and the byte totals: the same watcher for the
// window and the command line, so that both are timed alike.
class TimedTransfer : public bootshell::boot::TransferScript {
 public:
  TimedTransfer(TButtons Buttons, sk::TskCustomComm& Comm)
      : TransferScript(std::move(Buttons), {std::chrono::seconds(60), std::chrono::seconds(60)}),
        comm_(Comm) {}
  void ImageLoaded(const std::string& Name, std::int64_t Size, std::int64_t Cycles) override {
    loaded = cycleFrom = Clock::now();
    sentAtLoad = comm_.TotalSent();
    receivedAtLoad = comm_.TotalReceived();
    cycleSeconds.clear();
    TransferScript::ImageLoaded(Name, Size, Cycles);
  }
  void BlockAcknowledged(std::int64_t Position, std::int64_t Cycle) override {
    const auto now = Clock::now();
    cycleSeconds.push_back(std::chrono::duration<double>(now - cycleFrom).count());
    cycleFrom = now;
    if (Cycle == Cycles()) {
      written = now;
      sent = comm_.TotalSent();
      received = comm_.TotalReceived();
    }
    TransferScript::BlockAcknowledged(Position, Cycle);
  }
  double TotalSeconds() const { return std::chrono::duration<double>(written - loaded).count(); }
  // The frames and answers at 921600 baud, 11 bits a byte (8N2).
  double WireSeconds() const {
    return double(sent - sentAtLoad + received - receivedAtLoad) * 11 / 921600;
  }
  Clock::time_point loaded{}, written{}, cycleFrom{};
  std::uint32_t sentAtLoad = 0, receivedAtLoad = 0, sent = 0, received = 0;
  std::vector<double> cycleSeconds;

 private:
  sk::TskCustomComm& comm_;
};

bootshell::boot::TransferScript::TButtons WindowButtons(TForm3& Form) {
  return {[&Form] {
            Find<QAbstractButton>(Form, "BitBtn1")->click();
            Find<QAbstractButton>(Form, "BitBtn2")->click();
          },
          [&Form] { Form.Button2Click(); }};
}

// What one paced transfer took: from the image loaded to its last block acknowledged, each
// cycle, and the wire time of the frames and answers.
struct TransferFigures {
  double totalS = 0, wireS = 0;
  std::vector<double> cycleSeconds;
  double Efficiency() const { return totalS / wireS; }
  double MedianCycleUs() const {
    std::vector<double> sorted = cycleSeconds;
    std::sort(sorted.begin(), sorted.end());
    return sorted.empty() ? 0 : sorted[sorted.size() / 2] * 1e6;
  }
};

TransferFigures FiguresOf(const TimedTransfer& Script) {
  return {Script.TotalSeconds(), Script.WireSeconds(), Script.cycleSeconds};
}

// The window, on the Bluetooth link to a simulator at 921600 baud, writes a paced image of
// Size bytes. Ready runs before "Connect", Ended after the loop, both with the window still
// there. Nothing when the transfer did not end.
template <class Form = TForm3>
std::optional<TransferFigures> WindowTransfer(std::size_t Size,
                                              const std::function<void(Form&)>& Ready = {},
                                              const std::function<void(Form&)>& Ended = {}) {
  WindowRig<Form> rig;
  testsupport::SimProcess sim({"--port", "3", "--baud", "921600", "--frame-log", "/dev/null"});
  if (!rig.WaitForCom3()) return std::nullopt;
  const std::string image = MakeImage(rig.scratch, Size);
  Form& form = *rig.form;
  QWidget* linkKinds = Find(form, "RadioGroup1");
  linkKinds->findChildren<QAbstractButton*>().value(bootshell::protocol::lkBluetooth)->click();
  form.SetDialogRunner([&](QFileDialog&) { return std::optional<QString>(image.c_str()); });
  TimedTransfer script(WindowButtons(form), form.Components().Comm());
  if (Ready) Ready(form);
  form.Session().SetWatcher(&script);
  script.Start();
  rig.RunLoop([&] { script.Tick(); });
  form.Session().SetWatcher(nullptr);
  if (Ended) Ended(form);
  if (script.Outcome() != TimedTransfer::TOutcome::Written) return std::nullopt;
  return FiguresOf(script);
}

void ReportTransfer(benchmark::State& State, const TransferFigures& F) {
  State.SetIterationTime(F.totalS);
  State.counters["cycles"] = double(F.cycleSeconds.size());
  State.counters["total_s"] = F.totalS;
  State.counters["wire_s"] = F.wireS;
  State.counters["efficiency"] = F.Efficiency();
  State.counters["cycle_median_us"] = F.MedianCycleUs();
}

// A paced transfer through the window at 921600 baud: the time from the image being loaded
// to its last block acknowledged, over the wire time of the frames and answers.
void BM_WindowTransferEfficiency921600(benchmark::State& state) {
  for (auto _ : state) {
    const auto figures = WindowTransfer(static_cast<std::size_t>(state.range(0)));
    if (!figures) return state.SkipWithError("the transfer did not end");
    ReportTransfer(state, *figures);
  }
}
BENCHMARK(BM_WindowTransferEfficiency921600)
    ->Arg(256 * 1024)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Where the GUI thread's time goes in a transfer. Every event that Qt's loop hands out is
// timed to its end (a window's update request includes its painting) and tallied by kind and
// receiver, apart for the loop's passes between turns (on the way from an answer to the next
// frame) and for its waits (while the device works).
double ThreadCpuSeconds() {
  timespec ts{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct EventTrace {
  enum TWhere { kTurn, kPass, kWait, kWhereCount };
  struct TTally {
    std::int64_t n = 0;
    double us = 0, cpuUs = 0;
    void Add(Clock::duration D, double CpuS = 0) {
      ++n;
      us += std::chrono::duration<double, std::micro>(D).count();
      cpuUs += CpuS * 1e6;
    }
  };
  using TKey = std::pair<int, const QMetaObject*>;
  std::map<TKey, TTally> events[kWhereCount];
  TTally calls[kWhereCount];  // the host's passes and waits themselves
  TTally wake;                // from an answer to the return of the wait it ends
  std::int64_t paints = 0;
  bool on = false;
  TWhere where = kTurn;
};

class TracingApplication : public QApplication {
 public:
  using QApplication::QApplication;
  EventTrace* trace = nullptr;

  bool notify(QObject* Receiver, QEvent* Event) override {
    // The status bar shows every cycle's change: its paints are the window's.
    if (trace != nullptr && trace->on && Event->type() == QEvent::Paint &&
        qobject_cast<bootshell::app::StatusBar*>(Receiver) != nullptr)
      ++trace->paints;
    // Only the outermost events: what they send on (the paints of an update request) is theirs.
    if (trace == nullptr || !trace->on || depth_ > 0) {
      ++depth_;
      const bool done = QApplication::notify(Receiver, Event);
      --depth_;
      return done;
    }
    // The receiver may be gone afterwards (a deferred delete), and the event too.
    const EventTrace::TKey key{int(Event->type()), Receiver->metaObject()};
    ++depth_;
    const auto from = Clock::now();
    const double cpuFrom = ThreadCpuSeconds();
    const bool done = QApplication::notify(Receiver, Event);
    const auto took = Clock::now() - from;
    --depth_;
    trace->events[trace->where][key].Add(took, ThreadCpuSeconds() - cpuFrom);
    return done;
  }

 private:
  int depth_ = 0;
};

TracingApplication& TracingApp() {
  return *static_cast<TracingApplication*>(QCoreApplication::instance());
}

// The window with its host calls timed and the answers' arrival noted.
class TracedForm : public TForm3 {
 public:
  EventTrace trace;
  std::int64_t cycles = 0;
  double guiCpuS = 0;

  void ProcessMessages() override {
    Timed(EventTrace::kPass, [this] { TForm3::ProcessMessages(); });
  }
  void ProcessMessagesWaiting(std::uint32_t TimeoutMs) override {
    const std::uint64_t answersBefore = answers_.load();
    Timed(EventTrace::kWait, [&] { TForm3::ProcessMessagesWaiting(TimeoutMs); });
    if (trace.on && answers_.load() != answersBefore)
      trace.wake.Add(Clock::now() - Clock::time_point(Clock::duration(answerAt_.load())));
  }
  void Answer(std::int32_t Tag, const std::string& Text) override {
    answerAt_ = Clock::now().time_since_epoch().count();
    ++answers_;
    TForm3::Answer(Tag, Text);
  }
  void ImageLoaded(const std::string& Name, std::int64_t Size, std::int64_t Cycles) override {
    TForm3::ImageLoaded(Name, Size, Cycles);
    lastCycle_ = Cycles;
    trace.on = true;
    guiCpuS = ThreadCpuSeconds();
  }
  void BlockAcknowledged(std::int64_t Position, std::int64_t Cycle) override {
    TForm3::BlockAcknowledged(Position, Cycle);
    cycles = Cycle;
    if (Cycle == lastCycle_) {
      trace.on = false;
      guiCpuS = ThreadCpuSeconds() - guiCpuS;
    }
  }

 private:
  template <class Fn>
  void Timed(EventTrace::TWhere Where, Fn&& Call) {
    const EventTrace::TWhere outer = trace.where;
    trace.where = Where;
    const auto from = Clock::now();
    Call();
    if (trace.on) trace.calls[Where].Add(Clock::now() - from);
    trace.where = outer;
  }
  std::int64_t lastCycle_ = 0;
  std::atomic<std::uint64_t> answers_{0};
  std::atomic<Clock::rep> answerAt_{0};
};

// The trace of a paced transfer through the window, per cycle: the loop's passes between
// turns and its waits (count, time), the time from an answer to the return of the wait that
// it ends, the rest of the cycle (the turns' own steps and panel updates, the device, the
// line), the GUI thread's CPU time, and every kind of event served in passes and in waits.
void BM_WindowCycleBreakdown921600(benchmark::State& state) {
  for (auto _ : state) {
    EventTrace trace;
    std::int64_t cycles = 0;
    double guiCpuS = 0;
    const auto figures = WindowTransfer<TracedForm>(
        static_cast<std::size_t>(state.range(0)),
        [](TracedForm& Form) { TracingApp().trace = &Form.trace; },
        [&](TracedForm& Form) {
          TracingApp().trace = nullptr;
          trace = Form.trace;
          cycles = Form.cycles;
          guiCpuS = Form.guiCpuS;
        });
    if (!figures || cycles == 0) return state.SkipWithError("the transfer did not end");
    ReportTransfer(state, *figures);
    const double perCycle = 1.0 / double(cycles);
    auto& c = state.counters;
    c["pass_n"] = double(trace.calls[EventTrace::kPass].n) * perCycle;
    c["pass_us"] = trace.calls[EventTrace::kPass].us * perCycle;
    c["wait_n"] = double(trace.calls[EventTrace::kWait].n) * perCycle;
    c["wait_us"] = trace.calls[EventTrace::kWait].us * perCycle;
    c["wake_us"] = trace.wake.us * perCycle;
    c["rest_us"] = figures->totalS * 1e6 * perCycle - c["pass_us"] - c["wait_us"];
    c["gui_cpu_us"] = guiCpuS * 1e6 * perCycle;
    c["paints_per_s"] = double(trace.paints) / figures->totalS;
    const QMetaEnum types = QMetaEnum::fromType<QEvent::Type>();
    for (int where : {EventTrace::kTurn, EventTrace::kPass, EventTrace::kWait}) {
      std::vector<std::pair<EventTrace::TKey, EventTrace::TTally>> rows(trace.events[where].begin(),
                                                                        trace.events[where].end());
      std::sort(rows.begin(), rows.end(),
                [](const auto& A, const auto& B) { return A.second.us > B.second.us; });
      static const char* const kWhere[] = {"the turns' steps", "passes", "waits"};
      std::printf("  events served in %s, per cycle (count x wall, CPU):\n", kWhere[where]);
      for (const auto& [key, tally] : rows) {
        const char* type = types.valueToKey(key.first);
        std::printf("    %-16s %-32s %6.2f x %8.1f us, %8.1f us\n", type ? type : "?",
                    key.second->className(), double(tally.n) * perCycle, tally.us * perCycle,
                    tally.cpuUs * perCycle);
      }
    }
  }
}
BENCHMARK(BM_WindowCycleBreakdown921600)
    ->Arg(256 * 1024)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The command line's loader (its session on the console host) writing the same image on the
// same paced line, timed by the same watcher as the window.
std::optional<TransferFigures> CommandLineTransfer(std::size_t Size) {
  bench::LoaderRig rig({"--baud", "921600"}, bootshell::protocol::lkBluetooth);
  const std::string image = rig.MakeImage(Size);
  TimedTransfer script({[&] { rig.Session().Send(image); }, [&] { rig.Session().Stop(); }},
                       rig.Session().Components().Comm());
  script.Start();
  rig.Run(script, [&] { script.Tick(); });
  if (script.Outcome() != TimedTransfer::TOutcome::Written) return std::nullopt;
  return FiguresOf(script);
}

// The window and the command line in turns, each against a simulator of its own, in one run so
// that the machine's load weighs on both alike: each one's total over wire time per round, and
// how far apart they are.
void BM_WindowBesideCommandLine921600(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const int rounds = static_cast<int>(state.range(1));
  for (auto _ : state) {
    std::vector<double> window, cli, gap, windowCycles, cliCycles;
    for (int r = 0; r < rounds; ++r) {
      const auto w = WindowTransfer(size);
      const auto c = CommandLineTransfer(size);
      if (!w || !c) return state.SkipWithError("a transfer did not end");
      window.push_back(w->Efficiency());
      cli.push_back(c->Efficiency());
      gap.push_back(w->Efficiency() - c->Efficiency());
      windowCycles.insert(windowCycles.end(), w->cycleSeconds.begin(), w->cycleSeconds.end());
      cliCycles.insert(cliCycles.end(), c->cycleSeconds.begin(), c->cycleSeconds.end());
      std::printf("  round %d: window %.4f, command line %.4f, gap %+.4f\n", r + 1, window.back(),
                  cli.back(), gap.back());
    }
    auto median = [](std::vector<double> v) {
      std::sort(v.begin(), v.end());
      return v[v.size() / 2];
    };
    state.SetIterationTime(1);
    state.counters["window"] = median(window);
    state.counters["cli"] = median(cli);
    state.counters["gap_median"] = median(gap);
    state.counters["gap_max"] = *std::max_element(gap.begin(), gap.end());
    state.counters["window_cycle_us"] = median(windowCycles) * 1e6;
    state.counters["cli_cycle_us"] = median(cliCycles) * 1e6;
  }
}
BENCHMARK(BM_WindowBesideCommandLine921600)
    ->Args({256 * 1024, 5})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The window connected and waiting for "Send": CPU time of the whole process over the given
// seconds, as a share of one core.
void BM_WindowIdleConnected(benchmark::State& state) {
  const auto seconds = std::chrono::seconds(state.range(0));
  for (auto _ : state) {
    WindowRig<> rig;
    testsupport::SimProcess sim({"--port", "3", "--frame-log", "/dev/null"});
    if (!rig.WaitForCom3()) return state.SkipWithError("the chooser never showed COM3");
    Clock::time_point from{};
    double cpuFrom = 0, share = -1;
    QElapsedTimer limit;
    limit.start();
    // The hands look only every 100 ms, so that they cost next to nothing themselves.
    QTimer hands;
    hands.setInterval(100);
    QObject::connect(&hands, &QTimer::timeout, [&] {
      const auto now = Clock::now();
      if (rig.form->Loader().LoaderState() == lsIdle && from == Clock::time_point{}) {
        from = now;
        cpuFrom = ProcessCpuSeconds();
      } else if (from != Clock::time_point{} && now - from >= seconds) {
        share = (ProcessCpuSeconds() - cpuFrom) / std::chrono::duration<double>(now - from).count();
        rig.form->Button2Click();
      } else if (limit.elapsed() > 60000) {
        rig.form->Button2Click();
      }
    });
    hands.start();
    rig.form->Button8Click();
    if (share < 0) return state.SkipWithError("the window did not connect");
    state.SetIterationTime(std::chrono::duration<double>(seconds).count());
    state.counters["cpu_percent_of_core"] = share * 100;
  }
}
BENCHMARK(BM_WindowIdleConnected)
    ->Arg(10)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  TracingApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
