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

// The operator's script at the window's buttons, noting when the loader has loaded the image
// and is about to send its first frame, and when its last block is acknowledged.
class TimedTransfer : public bootshell::boot::TransferScript {
 public:
  explicit TimedTransfer(TForm3& Form)
      : TransferScript({[&Form] {
                          Find<QAbstractButton>(Form, "BitBtn1")->click();
                          Find<QAbstractButton>(Form, "BitBtn2")->click();
                        },
                        [&Form] { Form.Button2Click(); }},
                       {std::chrono::seconds(60), std::chrono::seconds(60)}),
        comm_(Form.Components().Comm()) {}
  void ImageLoaded(const std::string& Name, std::int64_t Size, std::int64_t Cycles) override {
    loaded = Clock::now();
    sentAtLoad = comm_.TotalSent();
    receivedAtLoad = comm_.TotalReceived();
    TransferScript::ImageLoaded(Name, Size, Cycles);
  }
  void BlockAcknowledged(std::int64_t Position, std::int64_t Cycle) override {
    if (Cycle == Cycles()) {
      written = Clock::now();
      sent = comm_.TotalSent();
      received = comm_.TotalReceived();
    }
    TransferScript::BlockAcknowledged(Position, Cycle);
  }
  Clock::time_point loaded{}, written{};
  std::uint32_t sentAtLoad = 0, receivedAtLoad = 0, sent = 0, received = 0;

 private:
  sk::TskComm& comm_;
};

// A paced transfer through the window at 921600 baud: the time from the image being loaded
// to its last block acknowledged, over the wire time of the frames and answers (11 bits a
// byte, 8N2).
void BM_WindowTransferEfficiency921600(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  for (auto _ : state) {
    WindowRig<> rig;
    testsupport::SimProcess sim({"--port", "3", "--baud", "921600", "--frame-log", "/dev/null"});
    if (!rig.WaitForCom3()) return state.SkipWithError("the chooser never showed COM3");
    const std::string image = MakeImage(rig.scratch, size);
    TForm3& form = *rig.form;
    form.findChild<QWidget*>(QStringLiteral("RadioGroup1"))
        ->findChildren<QAbstractButton*>()
        .value(bootshell::protocol::lkBluetooth)
        ->click();
    form.SetDialogRunner([&](QFileDialog&) { return std::optional<QString>(image.c_str()); });
    TimedTransfer script(form);
    form.Session().SetWatcher(&script);
    script.Start();
    rig.RunLoop([&] { script.Tick(); });
    form.Session().SetWatcher(nullptr);
    if (script.Outcome() != TimedTransfer::TOutcome::Written)
      return state.SkipWithError("the transfer did not end");
    const double total = std::chrono::duration<double>(script.written - script.loaded).count();
    const double wire =
        double(script.sent - script.sentAtLoad + script.received - script.receivedAtLoad) * 11 /
        921600;
    state.SetIterationTime(total);
    state.counters["cycles"] = double(bootshell::protocol::CycleCount(std::int64_t(size)));
    state.counters["total_s"] = total;
    state.counters["wire_s"] = wire;
    state.counters["efficiency"] = total / wire;
  }
}
BENCHMARK(BM_WindowTransferEfficiency921600)
    ->Arg(256 * 1024)
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
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
