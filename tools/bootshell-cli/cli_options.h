#pragma once
// The command line of bootshell-cli: what it asks for and how its port argument is read.
#include <string>
#include <vector>

#include "boot/port_name.h"
#include "serialkit/comm/comm_types.h"

namespace CLI {
class App;
}

namespace bootshell::cli {

using boot::PortTarget;

struct CliOptions {
  std::string imagePath;
  PortTarget port;  // the first of ports
  // Every --port given: more than one writes them all at once.
  std::vector<PortTarget> ports;
  // --station: write every device that arrives until interrupted; --match: only those with
  // one of these USB identities ("VID:PID", hex, any case).
  bool station = false;
  std::vector<std::string> match;
  int linkKind = 0;  // RadioGroup1's item index: 0 UART, 1 Bluetooth, 2 WiFi
  double connectTimeoutS = 10;
  double answerTimeoutS = 5;
  std::string logFile;
  bool quiet = false;
  // --list-ports: print the machine's ports instead of writing an image.
  bool listPorts = false;
  sk::TskEnumPorts enumMode = sk::epQuickAll;
  bool json = false;
  // --record: the store a run's row goes to (none: no row); --records: print that store.
  std::string recordFile;
  std::string recordsFile;
};

// Declares the options on App, storing into Options; the port text is checked and converted
// while parsing.
void DeclareOptions(CLI::App& App, CliOptions& Options);

}  // namespace bootshell::cli
