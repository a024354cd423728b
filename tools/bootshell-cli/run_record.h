#pragma once
// The row a run of the loader leaves in the record store: what was written where, and how
// the run ended.
#include <string>

#include "boot_session.h"
#include "cli_options.h"
#include "exit_status.h"
#include "records_store.h"

namespace bootshell::cli {

// The SHA-256 of the file at Path in lower-case hex; empty when it cannot be read.
std::string FileSha256(const std::string& Path);
// Begins the row of a single run: its start and the port's device, while it is there.
void BeginRun(DeviceRun& Run, const CliOptions& Options);
// Completes the row of a single run that began at Run.started and ended with Result.
void FillRun(DeviceRun& Run, const CliOptions& Options, const SessionResult& Result);

}  // namespace bootshell::cli
