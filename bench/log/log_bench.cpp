// Entries per second into a log file at the default size limit, the file already full so that
// every save pays for cutting off its oldest bytes.
//   arg 0: loSafeMode (each entry saved) off / on
//   arg 1: loDebugOut (each line also to the system log) off / on
// Without loSafeMode the loop saves every kSaveEvery entries, as a program's save timer would;
// that cost is counted in.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "serialkit/log/log_file.h"

namespace {

constexpr int kSaveEvery = 1000;

class ScratchLog {
 public:
  ScratchLog() {
    std::string pattern = (std::filesystem::temp_directory_path() / "sklog-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) dir_ = pattern;
    std::ofstream(Path(), std::ios::binary) << std::string(sk::TskLogFile::kDefaultSizeLimit, 'x');
  }
  ~ScratchLog() {
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
  }
  std::string Path() const { return (dir_ / "bench.log").string(); }

 private:
  std::filesystem::path dir_;
};

sk::TLogOptions OptionsFor(const benchmark::State& state) {
  sk::TLogOptions options{sk::loDate, sk::loTime};
  if (state.range(0) != 0) options.Include(sk::loSafeMode);
  if (state.range(1) != 0) options.Include(sk::loDebugOut);
  return options;
}

void BM_AddLogFmt(benchmark::State& state) {
  ScratchLog file;
  sk::TskLogFile sink;
  sink.SetOptions(OptionsFor(state));
  sink.SetFileName(file.Path());
  const bool safe = state.range(0) != 0;
  int n = 0;
  for (auto _ : state) {
    sink.AddLogFmt(sk::dlSimple, "skComm: Try to send the data with %d length ...", 1024);
    if (!safe && ++n % kSaveEvery == 0) sink.Save();
  }
  sink.Save();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddLogFmt)->ArgNames({"safe", "debugout"})->ArgsProduct({{0, 1}, {0, 1}});

void BM_AddLog(benchmark::State& state) {
  ScratchLog file;
  sk::TskLogFile sink;
  sink.SetOptions(OptionsFor(state));
  sink.SetFileName(file.Path());
  const bool safe = state.range(0) != 0;
  const std::string line = "skDataProc: packet answerB0 received, 12 bytes";
  int n = 0;
  for (auto _ : state) {
    sink.AddLog(sk::dlSimple, line);
    if (!safe && ++n % kSaveEvery == 0) sink.Save();
  }
  sink.Save();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddLog)->ArgNames({"safe", "debugout"})->ArgsProduct({{0, 1}, {0, 1}});

// An entry below the sink's detail level: what a port pays for its debug lines when the log is
// attached at dlSimple.
void BM_FilteredOut(benchmark::State& state) {
  sk::TskLogFile sink;
  sink.SetFileName("");
  for (auto _ : state) sink.AddLogFmt(sk::dlDebug, "DoDataSend: %u bytes", 1024u);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FilteredOut);

}  // namespace
