#pragma once
// A pseudo-terminal pair: the master end held by this object and the path of the slave end,
// which a port opens like a serial device. Used by tests and the device simulator. Windows has
// none: there one end of two ports linked back to back stands in for the master, and the other
// port's name for the slave's path (see pseudo_terminal_win32.cpp).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sk::platform {

class PseudoTerminal {
 public:
  // Opens a new pair with the slave in raw mode; throws sk::Exception on failure.
  PseudoTerminal();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  int MasterFd() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }

  // Writes all bytes to the master end; false on failure.
  bool Write(const std::vector<std::uint8_t>& Bytes);
  // Reads from the master end until Count bytes have come or TimeoutMs has passed without
  // any; returns what came.
  std::vector<std::uint8_t> Read(std::size_t Count, int TimeoutMs);
  // Closes the master end: the slave side sees the connection lost.
  void CloseMaster();

 private:
  int master_ = -1;
  std::string slavePath_;
  struct StandIn;  // the Windows stand-in's state
  std::unique_ptr<StandIn> standIn_;
};

}  // namespace sk::platform
