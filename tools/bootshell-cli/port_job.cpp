#include "port_job.h"

#include <algorithm>
#include <cstdio>

#include "serialkit/platform/application.h"
#ifdef BOOTSHELL_RECORDS
#include "port_listing.h"
#include "run_record.h"
#endif

namespace bootshell::cli {

namespace {

std::string SerialNumber(const std::string& Port) {
#ifdef BOOTSHELL_RECORDS
  const UsbIdentities usb = ReadUsbIdentities();
  if (const auto u = usb.find(Port); u != usb.end()) return u->second.serialNumber;
#else
  (void)Port;
#endif
  return {};
}

}  // namespace

PortJob::PortJob(const CliOptions& Options, const PortTarget& Port, PortBoard& Board,
                 RecordStore* Store, std::function<bool()> Interrupted, std::function<void()> Done)
    : board_(Board), store_(Store), interrupted_(std::move(Interrupted)), done_(std::move(Done)) {
  CliOptions own = Options;
  own.port = Port;
  own.ports = {Port};
  // No answer texts: the board has no room for them, and they cost every port time.
  own.quiet = true;
  outcome_.port = Port.Name();
  outcome_.device = SerialNumber(outcome_.port);
  const std::size_t row = board_.Add(outcome_.port, outcome_.device);
  thread_ = std::thread([this, own = std::move(own), row]() mutable { Run(std::move(own), row); });
}

PortJob::~PortJob() {
  Wait();
}

void PortJob::Wait() {
  if (thread_.joinable()) thread_.join();
}

void PortJob::Run(CliOptions Options, std::size_t Row) {
  // The loop serves this thread's own queue, in which its port's timers and calls land.
  sk::platform::Application().EnsureMessageQueue();
  const auto start = std::chrono::steady_clock::now();
#ifdef BOOTSHELL_RECORDS
  DeviceRun run;
  if (store_) BeginRun(run, Options);
#endif
  PortOutput out(board_, Row);
  try {
    BootSession session(Options, out, interrupted_);
    outcome_.result = session.Run();
  } catch (const std::exception& e) {
    outcome_.result = {ExitStatus::Failed, e.what()};
  }
  outcome_.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
#ifdef BOOTSHELL_RECORDS
  if (store_) {
    FillRun(run, Options, outcome_.result);
    try {
      store_->Add(run);
    } catch (const std::exception& e) {
      // A device written but not recorded does not count as done.
      if (outcome_.result.status == ExitStatus::Written)
        outcome_.result = {ExitStatus::Failed, e.what()};
    }
  }
#endif
  const auto& r = outcome_.result;
  out.Line(r.status == ExitStatus::Written ? r.message : ResultName(r.status) + ": " + r.message);
  board_.Flush();
  finished_ = true;
  if (done_) done_();
}

ExitStatus WorstStatus(const std::vector<PortOutcome>& Outcomes) {
  int worst = Code(ExitStatus::Written);
  for (const auto& o : Outcomes) worst = std::max(worst, Code(o.result.status));
  return static_cast<ExitStatus>(worst);
}

ExitStatus FinishJobs(std::list<PortJob>& Jobs, PortBoard& Board, std::FILE* Out) {
  std::vector<PortOutcome> outcomes;
  for (PortJob& job : Jobs) {
    job.Wait();
    outcomes.push_back(job.Outcome());
  }
  Board.Flush();
  std::fputs(SummaryTable(outcomes).c_str(), Out);
  std::fflush(Out);
  return WorstStatus(outcomes);
}

std::string SummaryTable(const std::vector<PortOutcome>& Outcomes) {
  std::string text;
  char line[256];
  std::snprintf(line, sizeof line, "%-10s %-20s %-16s %9s\n", "port", "device", "result", "time");
  text += line;
  for (const auto& o : Outcomes) {
    std::snprintf(line, sizeof line, "%-10s %-20s %-16s %8.2fs\n", o.port.c_str(),
                  o.device.empty() ? "-" : o.device.c_str(), ResultName(o.result.status).c_str(),
                  o.seconds);
    text += line;
  }
  return text;
}

}  // namespace bootshell::cli
