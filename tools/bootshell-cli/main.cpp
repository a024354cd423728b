// bootshell-cli: writes a firmware image to a ZR48 in boot mode from the command line.
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <exception>

#include "boot_session.h"
#include "cli_options.h"
#include "console_output.h"
#include "exit_status.h"
#include "port_listing.h"

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

  // The loop looks at the flag at least every 100 ms and then ends the run in order.
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);

  ConsoleOutput out(stdout, stderr, ::isatty(STDOUT_FILENO) == 1, options.quiet);
  try {
    BootSession session(options, out, [] { return gInterrupted != 0; });
    const SessionResult result = session.Run();
    if (result.status == ExitStatus::Written)
      out.Line(result.message);
    else
      out.Error("bootshell-cli: " + result.message);
    return Code(result.status);
  } catch (const std::exception& e) {
    out.Error(std::string("bootshell-cli: ") + e.what());
    return Code(ExitStatus::Failed);
  }
}
