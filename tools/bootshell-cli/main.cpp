// bootshell-cli: writes a firmware image to a ZR48 in boot mode from the command line.
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>

#include "boot_session.h"
#include "cli_options.h"
#include "console_output.h"
#include "exit_status.h"
#include "fleet_run.h"
#include "port_listing.h"
#ifdef BOOTSHELL_RECORDS
#include "records_store.h"
#include "run_record.h"
#include "station.h"
#endif

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnInterrupt(int) {
  gInterrupted = 1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace bootshell::cli;
  CLI::App app{"", "bootshell-cli"};
  CliOptions options;
  DeclareOptions(app, options);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int rc = app.exit(e);
    return rc == 0 ? 0 : Code(ExitStatus::Usage);
  }

  if (options.listPorts) {
    std::fputs(ListPorts(options.enumMode, options.json).c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : Code(ExitStatus::Failed);
  }

#ifdef BOOTSHELL_RECORDS
  if (!options.recordsFile.empty()) {
    try {
      RecordStore store(options.recordsFile);
      const auto runs = store.All();
      std::fputs((options.json ? FormatRunJson(runs) : FormatRunLines(runs)).c_str(), stdout);
      return std::fflush(stdout) == 0 ? 0 : Code(ExitStatus::Failed);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "bootshell-cli: %s\n", e.what());
      return Code(ExitStatus::Failed);
    }
  }
  // Many ports and the station record every device unless told where.
  const bool many = options.ports.size() > 1 || options.station;
  if (many && options.recordFile.empty()) options.recordFile = "bootshell-records.db";
  // Opened before the port, so that a store that cannot take the run's row stops it first.
  std::unique_ptr<RecordStore> store;
  DeviceRun run;
  if (!options.recordFile.empty()) {
    try {
      store = std::make_unique<RecordStore>(options.recordFile);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "bootshell-cli: %s\n", e.what());
      return Code(ExitStatus::Failed);
    }
    if (!many) BeginRun(run, options);
  }
#else
  const bool many = options.ports.size() > 1;
#endif

  // The loop looks at the flag at least every 100 ms and then ends the run in order.
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);

  const bool terminal = ::isatty(STDOUT_FILENO) == 1;
  const auto interrupted = [] { return gInterrupted != 0; };
  if (many) {
    RecordStore* runs = nullptr;
#ifdef BOOTSHELL_RECORDS
    runs = store.get();
#endif
    try {
#ifdef BOOTSHELL_RECORDS
      if (options.station) return Code(RunStation(options, stdout, terminal, runs, interrupted));
#endif
      return Code(RunFleet(options, stdout, terminal, runs, interrupted));
    } catch (const std::exception& e) {
      std::fprintf(stderr, "bootshell-cli: %s\n", e.what());
      return Code(ExitStatus::Failed);
    }
  }
  ConsoleOutput out(stdout, stderr, terminal, options.quiet);
  try {
    BootSession session(options, out, [] { return gInterrupted != 0; });
    const SessionResult result = session.Run();
    if (result.status == ExitStatus::Written)
      out.Line(result.message);
    else
      out.Error("bootshell-cli: " + result.message);
#ifdef BOOTSHELL_RECORDS
    if (store) {
      FillRun(run, options, result);
      try {
        store->Add(run);
      } catch (const std::exception& e) {
        out.Error(std::string("bootshell-cli: ") + e.what());
        if (result.status == ExitStatus::Written) return Code(ExitStatus::Failed);
      }
    }
#endif
    return Code(result.status);
  } catch (const std::exception& e) {
    out.Error(std::string("bootshell-cli: ") + e.what());
    return Code(ExitStatus::Failed);
  }
}
