#pragma once
// Serves a simulated boot loader on the master end of a pseudo-terminal: reads what the host
// writes to the slave end, paces both directions like a real line if asked, writes the
// answers (whole, split or with noise after them) and notices hosts coming and going.
#include <cstdint>
#include <functional>
#include <string>

#include "serialkit/testing/pseudo_terminal.h"
#include "simulated_boot_loader.h"
#include "wire_schedule.h"

namespace zr48sim {

struct LinkOptions {
  WritePlan plan;                       // rate and splitting of what the device writes
  bool noise = false;                   // random bytes after every answer
  std::uint32_t seed = 1;               // for the noise
  std::uint32_t frameTimeoutMs = 1000;  // an unfinished frame is dropped after this silence
  bool exitAfterImage = false;          // end when a host closes the line after writing blocks
};

enum class LinkEnd { Stopped, HungUp, ImageDone, Failed };

class DeviceLink {
 public:
  DeviceLink(SimulatedBootLoader& Device, LinkOptions Options,
             std::function<void(const std::string&)> Log);

  // Serves until StopFd turns readable (Stopped), the device pulls the cable (HungUp: the
  // master end is closed), a host closes the line after blocks were written while
  // exitAfterImage is set (ImageDone), or the pseudo-terminal fails (Failed, Error() says why).
  LinkEnd Run(sk::platform::PseudoTerminal& Pty, int StopFd);
  const std::string& Error() const { return error_; }

 private:
  SimulatedBootLoader& device_;
  LinkOptions options_;
  std::function<void(const std::string&)> log_;
  std::string error_;
};

}  // namespace zr48sim
