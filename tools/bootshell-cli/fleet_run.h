#pragma once
// Many ports, one process: the image goes to every port given at once, each port in a job of
// its own; the summary follows when the last has ended.
#include <cstdio>
#include <functional>

#include "cli_options.h"
#include "exit_status.h"
#include "port_job.h"

namespace bootshell::cli {

// Writes Options.imagePath to every one of Options.ports; prints the board on Out and the
// summary table at the end. Store may be null. The worst of the ports' statuses.
ExitStatus RunFleet(const CliOptions& Options, std::FILE* Out, bool Terminal, RecordStore* Store,
                    const std::function<bool()>& Interrupted);

}  // namespace bootshell::cli
