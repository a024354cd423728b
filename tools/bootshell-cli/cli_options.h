#pragma once
// The command line of bootshell-cli: what it asks for and how its port argument is read.
#include <cstdint>
#include <optional>
#include <string>

namespace CLI {
class App;
}

namespace bootshell::cli {

// The port to open: a port number (opened as "COMn" through the port map) or a device path.
struct PortTarget {
  std::uint16_t number = 0;
  std::string path;
  // "COM7" or the path, for messages.
  std::string Name() const;
};

// "COM7" (any case), "7" or "/dev/ttyUSB0"; nothing for anything else, with Error saying why.
std::optional<PortTarget> ParsePortTarget(const std::string& Text, std::string& Error);

struct CliOptions {
  std::string imagePath;
  PortTarget port;
  int linkKind = 0;  // RadioGroup1's item index: 0 UART, 1 Bluetooth, 2 WiFi
  double connectTimeoutS = 10;
  double answerTimeoutS = 5;
  std::string logFile;
  bool quiet = false;
};

// Declares the options on App, storing into Options; the port text is checked and converted
// while parsing.
void DeclareOptions(CLI::App& App, CliOptions& Options);

}  // namespace bootshell::cli
