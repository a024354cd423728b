#pragma once
// The factory station: every device that arrives (a port entered in the port map or appearing
// on the machine, as the device watcher tells) is written once, each in a job of its own, until
// the operator interrupts; a port that arrives again is written again. Ports present at the
// start are left alone: they are the machine's own, not devices brought to the station.
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "cli_options.h"
#include "exit_status.h"
#include "port_job.h"

namespace bootshell::cli {

// The port a watcher's arrival names ("COM7", or a device node such as "ttyUSB0", named by its
// port map entry where it has one); nothing when Match is given and the port's USB identity
// is none of them.
std::optional<PortTarget> ArrivingPort(const std::string& Name,
                                       const std::vector<std::string>& Match);

// Runs until Interrupted; prints the board on Out and the summary table at the end. The worst
// of the runs' statuses.
ExitStatus RunStation(const CliOptions& Options, std::FILE* Out, bool Terminal, RecordStore* Store,
                      const std::function<bool()>& Interrupted);

}  // namespace bootshell::cli
