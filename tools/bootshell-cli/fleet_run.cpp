#include "fleet_run.h"

#include <list>

namespace bootshell::cli {

ExitStatus RunFleet(const CliOptions& Options, std::FILE* Out, bool Terminal, RecordStore* Store,
                    const std::function<bool()>& Interrupted) {
  PortBoard board(Out, Terminal, Options.quiet);
  std::list<PortJob> jobs;  // a job stays where it was made: its thread points at it
  for (const PortTarget& port : Options.ports)
    jobs.emplace_back(Options, port, board, Store, Interrupted);
  return FinishJobs(jobs, board, Out);
}

}  // namespace bootshell::cli
