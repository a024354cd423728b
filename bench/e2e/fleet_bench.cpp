// Many devices at once through the command-line loader against a rack of simulated devices on
// a paced line: the whole run's time against one device alone in the same run, and the
// loader's CPU time per device.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/scratch_dir.h"
#include "support/sim_process.h"

extern char** environ;

namespace {

constexpr std::size_t kImageBytes = 64 * 1024;  // 31 cycles of 1024 bytes on the wire

struct CliRun {
  double wallS = 0, cpuS = 0;
  int status = -1;
};

// The loader as a program on the ports COM<First> ... COM<First+N-1>, bluetooth (921600 baud).
CliRun RunCli(const testsupport::ScratchDir& Dir, int First, int N) {
  std::vector<std::string> args{BOOTSHELL_CLI_PATH, Dir / "image.brox", "--link", "bluetooth", "-q",
                                "--record",         Dir / "records.db"};
  for (int i = 0; i < N; ++i)
    args.insert(args.end(), {"--port", "COM" + std::to_string(First + i)});
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = -1;
  CliRun run;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) return run;
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  run.wallS = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.cpuS = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
             double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

void BM_DevicesAtOnce(benchmark::State& State) {
  const int n = static_cast<int>(State.range(0));
  testsupport::ScratchDir dir;
  ::setenv("SK_PORTMAP_DIR", (dir / "ports").c_str(), 1);
  {
    std::string image(kImageBytes, '\0');
    std::mt19937 rng(7);
    for (char& c : image) c = static_cast<char>(rng());
    std::ofstream(dir / "image.brox", std::ios::binary) << image;
  }
  testsupport::SimProcess rack({"--count", std::to_string(n + 1), "--port", "100", "--baud",
                                "921600", "--frame-log", dir / "rack.log"},
                               static_cast<std::size_t>(n + 1));
  double ratio = 0, cpuPerDevice = 0, single = 0, all = 0;
  for (auto _ : State) {
    const CliRun one = RunCli(dir, 100, 1);
    const CliRun many = RunCli(dir, 101, n);
    if (one.status != 0 || many.status != 0) {
      State.SkipWithError("a device was not written");
      break;
    }
    single = one.wallS;
    all = many.wallS;
    ratio = many.wallS / one.wallS;
    cpuPerDevice = many.cpuS / n;
    State.SetIterationTime(many.wallS);
  }
  State.counters["single_s"] = single;
  State.counters["all_s"] = all;
  State.counters["all_over_single"] = ratio;
  State.counters["cpu_ms_per_device"] = cpuPerDevice * 1000;
  ::unsetenv("SK_PORTMAP_DIR");
}
BENCHMARK(BM_DevicesAtOnce)
    ->Arg(8)
    ->Arg(32)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// The station: from a device's port entering the port map (the simulator's ready line, which
// follows the entry) to its first handshake frame reaching the device, polled every 0.2 ms.
void BM_StationPortToHandshake(benchmark::State& State) {
  testsupport::ScratchDir dir;
  ::setenv("SK_PORTMAP_DIR", (dir / "ports").c_str(), 1);
  std::ofstream(dir / "image.brox", std::ios::binary) << std::string(4096, '\x5A');
  std::vector<std::string> args{BOOTSHELL_CLI_PATH, dir / "image.brox", "--station", "-q",
                                "--record",         dir / "records.db"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
    State.SkipWithError("bootshell-cli did not start");
    return;
  }
  posix_spawn_file_actions_destroy(&actions);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // its watcher in place
  std::vector<double> ms;
  int round = 0;
  for (auto _ : State) {
    const std::string log = dir / ("sim" + std::to_string(++round) + ".log");
    testsupport::SimProcess sim({"--port", "120", "--exit-after-image", "--frame-log", log});
    const auto entered = std::chrono::steady_clock::now();
    while (testsupport::ReadAll(log).find("rx handshake") == std::string::npos &&
           std::chrono::steady_clock::now() - entered < std::chrono::seconds(10))
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    const double t =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - entered)
            .count();
    ms.push_back(t);
    State.SetIterationTime(t / 1000);
    sim.Wait(10000);
  }
  ::kill(pid, SIGINT);
  ::waitpid(pid, nullptr, 0);
  std::sort(ms.begin(), ms.end());
  State.counters["median_ms"] = ms.empty() ? 0 : ms[ms.size() / 2];
  ::unsetenv("SK_PORTMAP_DIR");
}
BENCHMARK(BM_StationPortToHandshake)->UseManualTime()->Iterations(9)->Unit(benchmark::kMillisecond);

}  // namespace
