// Receive latency side by side with Qt's QSerialPort, in one run on pseudo-terminals of this
// machine: from the write on the master end until the bytes are in the consumer's thread.
//   paced:        10-byte chunks, one every millisecond
//   back-to-back: 1-byte chunks, each written as soon as the previous one has arrived
// for QSerialPort in a worker thread handing each read to the main thread with a queued call,
// and this library's port with its handlers in the message worker and in the main thread.
// The variants take turns round by round, so that they share the machine's load. Then the CPU
// an idle open port costs.
//   bench_receive_anchor [chunks per round (default 2000)] [rounds (default 5)] [idle seconds (3)]
#include <linux/futex.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QSerialPort>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "serialkit/comm/serial_comm.h"
#include "serialkit/platform/application.h"
#include "serialkit/testing/pseudo_terminal.h"
#include "serialkit/platform/serial_device.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

struct Pattern {
  const char* name;
  std::size_t chunkSize;
  bool paced;
};
constexpr Pattern kPaced{"paced 10 B / 1 ms", 10, true};
constexpr Pattern kBackToBack{"back-to-back 1 B", 1, false};

// Write times and arrivals of one round; Arrived runs in the consumer's thread.
class Probe {
 public:
  Probe(const Pattern& P, std::size_t Chunks) : pattern_(P), written_(Chunks) {}

  void Arrived(std::size_t Bytes) {
    const std::int64_t now = NowNs();
    bytes_ += Bytes;
    while (done_ < written_.size() && bytes_ >= (done_ + 1) * pattern_.chunkSize) {
      latenciesUs_.push_back(static_cast<double>(now - written_[done_].load()) / 1000.0);
      ++done_;
    }
    std::atomic_ref<std::uint32_t>(arrived_).store(static_cast<std::uint32_t>(done_));
    ::syscall(SYS_futex, &arrived_, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
  }

  // Writes every chunk to Master, paced or each after the previous one's arrival; false when
  // an arrival did not come within a second.
  bool Write(int Master) {
    const std::vector<std::uint8_t> chunk(pattern_.chunkSize, 0x55);
    const auto start = Clock::now();
    for (std::size_t k = 0; k < written_.size(); ++k) {
      if (pattern_.paced) std::this_thread::sleep_until(start + k * 1ms);
      written_[k].store(NowNs());
      if (::write(Master, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size()))
        return false;
      if (!pattern_.paced && !UntilArrived(k + 1)) return false;
    }
    return UntilArrived(written_.size());
  }

  // Only once the round is over.
  std::vector<double>& Latencies() { return latenciesUs_; }

 private:
  bool UntilArrived(std::size_t Count) {
    const auto until = Clock::now() + 1s;
    for (;;) {
      const std::uint32_t seen = std::atomic_ref<std::uint32_t>(arrived_).load();
      if (seen >= Count) return true;
      if (Clock::now() > until) return false;
      timespec limit{0, 100'000'000};  // woken by the arrival; the limit only ends the round
      ::syscall(SYS_futex, &arrived_, FUTEX_WAIT_PRIVATE, seen, &limit, nullptr, 0);
    }
  }

  const Pattern pattern_;
  std::vector<std::atomic<std::int64_t>> written_;
  alignas(4) std::uint32_t arrived_ = 0;  // chunks arrived; a futex word
  std::size_t bytes_ = 0, done_ = 0;      // the consumer's
  std::vector<double> latenciesUs_;       // the consumer's until the round ends
};

// QSerialPort living in a worker thread; each read is handed to the main thread.
class QtWorkerPort {
 public:
  explicit QtWorkerPort(const std::string& Path) {
    thread_.start();
    context_.moveToThread(&thread_);
    QMetaObject::invokeMethod(
        &context_,
        [this, Path] {
          port_ = std::make_unique<QSerialPort>();
          port_->setPortName(QString::fromStdString(Path));
          port_->setBaudRate(921600);
          opened_ = port_->open(QIODevice::ReadWrite);
          QObject::connect(port_.get(), &QSerialPort::readyRead, port_.get(), [this] {
            const auto n = static_cast<std::size_t>(port_->readAll().size());
            Probe* probe = probe_.load();
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [probe, n] {
                  if (probe != nullptr) probe->Arrived(n);
                },
                Qt::QueuedConnection);
          });
        },
        Qt::BlockingQueuedConnection);
  }
  ~QtWorkerPort() {
    QMetaObject::invokeMethod(
        &context_, [this] { port_.reset(); }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
  }
  bool Opened() const { return opened_; }
  void Attach(Probe* P) { probe_.store(P); }

 private:
  QThread thread_;
  QObject context_;
  std::unique_ptr<QSerialPort> port_;  // the worker's
  bool opened_ = false;
  std::atomic<Probe*> probe_{nullptr};
};

// This library's port; OnAfterReceive is the consumer.
class LibraryPort {
 public:
  LibraryPort(const std::string& Path, bool UseMainThread) {
    com_.SetStreamProtocol(sk::spNone);
    com_.SetBaudRate(921600);
    com_.SetUseMainThread(UseMainThread);
    com_.SetOnAfterReceive(
        sk::TOnReceived::Bind(this, [this](sk::TObject*, const sk::Byte*, std::uint32_t n) {
          if (Probe* p = probe_.load()) p->Arrived(n);
        }));
    com_.SetExtHandle(sk::platform::OpenSerialDevice(Path));
  }
  ~LibraryPort() { com_.SetActive(false); }
  bool Opened() const { return com_.Active(); }
  void Attach(Probe* P) { probe_.store(P); }

 private:
  std::atomic<Probe*> probe_{nullptr};
  sk::TskComm com_;
};

enum class Variant { qtWorker, libraryWorker, libraryMain };
const char* Name(Variant V) {
  switch (V) {
    case Variant::qtWorker:
      return "QSerialPort, worker thread + queued call to main";
    case Variant::libraryWorker:
      return "this library, message worker";
    case Variant::libraryMain:
      return "this library, main thread";
  }
  return "";
}

// One round of a variant: the writer thread drives, the main thread serves the consumer side.
bool Round(Variant V, const Pattern& P, std::size_t Chunks, std::vector<double>& Out) {
  sk::platform::PseudoTerminal pty;
  Probe probe(P, Chunks);
  std::atomic<bool> done{false}, ok{false};
  auto writer = [&] {
    ok.store(probe.Write(pty.MasterFd()));
    done.store(true);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
    sk::platform::Application().WakeUp();
  };
  if (V == Variant::qtWorker) {
    auto port = std::make_unique<QtWorkerPort>(pty.SlavePath());
    if (!port->Opened()) return false;
    port->Attach(&probe);
    std::thread w(writer);
    while (!done.load()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    w.join();
    port.reset();
    QCoreApplication::processEvents();  // calls the worker queued before it ended
  } else {
    LibraryPort port(pty.SlavePath(), V == Variant::libraryMain);
    if (!port.Opened()) return false;
    port.Attach(&probe);
    std::thread w(writer);
    if (V == Variant::libraryMain) {
      while (!done.load()) sk::platform::Application().ProcessMessages(sk::platform::kInfinite);
    }
    w.join();
    port.Attach(nullptr);
  }
  auto& l = probe.Latencies();
  Out.insert(Out.end(), l.begin(), l.end());
  return ok.load();
}

double Percentile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(q * static_cast<double>(v.size())))];
}

double CpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The process's CPU share while the variant's port is open and nothing arrives.
double IdleCpuPercent(Variant V, double Seconds) {
  sk::platform::PseudoTerminal pty;
  std::unique_ptr<QtWorkerPort> qt;
  std::unique_ptr<LibraryPort> lib;
  if (V == Variant::qtWorker)
    qt = std::make_unique<QtWorkerPort>(pty.SlavePath());
  else
    lib = std::make_unique<LibraryPort>(pty.SlavePath(), V == Variant::libraryMain);
  const auto wall = Clock::now();
  const double cpu = CpuSeconds();
  const auto until = wall + std::chrono::duration<double>(Seconds);
  while (Clock::now() < until) {
    // The Qt port's loop is its worker's; the main thread only sleeps, as in the worker mode.
    if (V == Variant::libraryMain)
      sk::platform::Application().ProcessMessages(100);
    else
      std::this_thread::sleep_for(100ms);
  }
  const double elapsed = std::chrono::duration<double>(Clock::now() - wall).count();
  return (CpuSeconds() - cpu) / elapsed * 100;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const std::size_t chunks = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 2000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  const double idle = argc > 3 ? std::atof(argv[3]) : 3;
  const Variant variants[] = {Variant::qtWorker, Variant::libraryWorker, Variant::libraryMain};
  std::map<std::pair<int, int>, std::vector<double>> results;
  const Pattern* patterns[] = {&kPaced, &kBackToBack};
  for (int r = 0; r < rounds; ++r)
    for (int p = 0; p < 2; ++p)
      for (Variant v : variants)
        if (!Round(v, *patterns[p], chunks, results[{p, static_cast<int>(v)}])) {
          std::fprintf(stderr, "%s, %s: a chunk did not arrive within a second\n", Name(v),
                       patterns[p]->name);
          return 1;
        }
  std::printf("receive latency, write on the master -> bytes in the consumer's thread\n");
  std::printf("%d rounds x %zu chunks per variant, interleaved\n", rounds, chunks);
  for (int p = 0; p < 2; ++p) {
    std::printf("\n%s\n", patterns[p]->name);
    for (Variant v : variants) {
      const auto& l = results[{p, static_cast<int>(v)}];
      std::printf("  %-50s p50 %7.1f us   p99 %7.1f us\n", Name(v), Percentile(l, 0.5),
                  Percentile(l, 0.99));
    }
  }
  if (idle > 0) {
    std::printf("\nCPU of the process with an idle open port (%.0f s each)\n", idle);
    for (Variant v : variants) std::printf("  %-50s %5.2f %%\n", Name(v), IdleCpuPercent(v, idle));
  }
  return 0;
}
