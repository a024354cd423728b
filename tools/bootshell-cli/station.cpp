#include "station.h"

#include <cctype>
#include <list>
#include <map>

#include "port_listing.h"
#include "port_plugs.h"
#include "serialkit/platform/application.h"
#include "serialkit/platform/device_watcher.h"
#include "serialkit/platform/port_map.h"

namespace bootshell::cli {

namespace {

namespace pf = sk::platform;

std::string Lower(std::string Text) {
  for (char& c : Text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return Text;
}

}  // namespace

std::optional<PortTarget> ArrivingPort(const std::string& Name,
                                       const std::vector<std::string>& Match) {
  std::string text = Name;
  if (Lower(Name).rfind("com", 0) != 0) {
    text = "/dev/" + Name;
    for (const pf::PortMapEntry& e : pf::PortMap().Entries())
      if (e.DevicePath == text) text = e.PortName;
  }
  std::string error;
  auto target = boot::ParsePortTarget(text, error);
  if (!target || Match.empty()) return target;
  const UsbIdentities usb = ReadUsbIdentities();
  const auto u = usb.find(target->Name());
  if (u == usb.end()) return std::nullopt;
  const std::string id = Lower(u->second.vendorId + ":" + u->second.productId);
  for (const std::string& m : Match)
    if (Lower(m) == id) return target;
  return std::nullopt;
}

ExitStatus RunStation(const CliOptions& Options, std::FILE* Out, bool Terminal, RecordStore* Store,
                      const std::function<bool()>& Interrupted) {
  pf::TApplication& app = pf::Application();
  const pf::TThreadID self = pf::CurrentThreadId();
  PortBoard board(Out, Terminal, Options.quiet);
  std::list<PortJob> jobs;  // a job stays where it was made: its thread points at it
  struct Port {
    PortJob* job = nullptr;  // the latest run
    PortPlugs plugs;
    bool RunGoing() const { return job && !job->Finished(); }
  };
  std::map<std::string, Port> ports;
  std::map<std::string, PortTarget> targets;
  std::map<std::string, std::string> arrivedAs;  // the watcher's name -> the port's
  const auto start = [&](const PortTarget& Target) {
    Port& p = ports[Target.Name()];
    p.plugs.Started();
    p.job = &jobs.emplace_back(Options, Target, board, Store, Interrupted,
                               [&app, self] { app.WakeUp(self); });
  };

  pf::DeviceWatcher watcher([&](pf::TDeviceChangeMessage& Msg) {
    const bool arrived = Msg.WParam == pf::DBT_DEVICEARRIVAL;
    if ((!arrived && Msg.WParam != pf::DBT_DEVICEREMOVECOMPLETE) || !Msg.LParam ||
        Msg.LParam->dbch_devicetype != pf::DBT_DEVTYP_PORT)
      return;
    const auto* header = reinterpret_cast<const pf::DEV_BROADCAST_PORT*>(Msg.LParam);
    if (!arrived) {
      // Known by the name it arrived with: its port map entry may have gone with it.
      if (auto n = arrivedAs.find(header->dbcp_name); n != arrivedAs.end())
        ports[n->second].plugs.Left();
      return;
    }
    const auto target = ArrivingPort(header->dbcp_name, Options.match);
    if (!target || Interrupted()) return;
    targets[target->Name()] = *target;
    arrivedAs[header->dbcp_name] = target->Name();
    Port& p = ports[target->Name()];
    if (p.plugs.Arrived(p.RunGoing())) start(*target);
  });
  if (!Options.quiet) {
    std::fputs("Station: waiting for devices (SIGINT ends and prints the summary)\n", Out);
    std::fflush(Out);
  }
  while (!Interrupted()) {
    app.ProcessMessages(100);
    for (auto& [name, p] : ports)
      if (p.job && p.job->Finished() && p.plugs.RunAgain()) start(targets.at(name));
  }

  return FinishJobs(jobs, board, Out);
}

}  // namespace bootshell::cli
