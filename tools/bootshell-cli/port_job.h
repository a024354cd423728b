#pragma once
// One device's run among several: its own thread, with its own message queue, loader session
// and time-outs, its line on the board and (where there is a store) its row in the record
// store, committed when it ends. Nothing in it waits for another port.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <list>
#include <string>
#include <thread>

#include "boot_session.h"
#include "cli_options.h"
#include "port_lines.h"
#ifdef BOOTSHELL_RECORDS
#include "records_store.h"
#else
namespace bootshell::cli {
class RecordStore;
}
#endif

namespace bootshell::cli {

// How a port's run ended, for the summary.
struct PortOutcome {
  std::string port;
  std::string device;  // the serial number, where known
  SessionResult result;
  double seconds = 0;
};

class PortJob {
 public:
  // Starts at once. Store may be null. Done runs in the job's thread as it ends.
  PortJob(const CliOptions& Options, const PortTarget& Port, PortBoard& Board, RecordStore* Store,
          std::function<bool()> Interrupted, std::function<void()> Done = {});
  ~PortJob();  // waits for the run to end
  PortJob(const PortJob&) = delete;
  PortJob& operator=(const PortJob&) = delete;

  bool Finished() const { return finished_.load(); }
  // Waits for the run to end. The job's own thread only joins once; call from one thread.
  void Wait();
  // Once Finished.
  const PortOutcome& Outcome() const { return outcome_; }

 private:
  void Run(CliOptions Options, std::size_t Row);

  PortBoard& board_;
  RecordStore* store_;
  const std::function<bool()> interrupted_;
  const std::function<void()> done_;
  PortOutcome outcome_;
  std::atomic<bool> finished_{false};
  std::thread thread_;  // last: starts when the rest is in place
};

// The worst of the outcomes' statuses (the highest code): Written when all were written.
ExitStatus WorstStatus(const std::vector<PortOutcome>& Outcomes);
// The table printed at the end: port, device, result, time; one row per run.
std::string SummaryTable(const std::vector<PortOutcome>& Outcomes);
// Waits for every job, prints the board's last lines and the summary table to Out, and gives
// the worst status: how a many-port run and the station both end.
ExitStatus FinishJobs(std::list<PortJob>& Jobs, PortBoard& Board, std::FILE* Out);

}  // namespace bootshell::cli
