#pragma once
// The machine's map of serial ports: pairs of a kernel device (its path) and the port name
// ("COMn") under which it is opened. An override directory comes first: each of its "comN"
// symbolic links names any terminal device (a pseudo-terminal included) as port COMN. Then
// the serial devices of the system's tty class that have a real device behind them, numbered
// by kind: ttyS k -> COM(k+1), ttyUSB k -> COM(33+k), ttyACM k -> COM(65+k),
// rfcomm k -> COM(97+k), any other kind COM(129+i) in the order found.
//
// On Windows the map is the registry's HARDWARE\DEVICEMAP\SERIALCOMM, as its drivers fill it:
// each value's name is the kernel device ("\Device\Serial0"), its text the port name, both
// as they stand and in the registry's order. There are no override entries there: the
// folder and device-tree arguments are not used, AddOverride fails with ERROR_NOT_SUPPORTED
// and RemoveOverride has nothing to remove.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sk::platform {

struct PortMapEntry {
  std::string DevicePath;  // the kernel device name, e.g. "/dev/ttyUSB0"
  std::string PortName;    // e.g. "COM33"
};

class PortMap {
 public:
  // $SK_PORTMAP_DIR, else $XDG_CONFIG_HOME/serialkit/ports, else ~/.config/serialkit/ports.
  static std::string DefaultOverrideDir();

  // SysRoot is where the tty class is looked up (".../class/tty") and DevRoot where the
  // device nodes are; both replaceable so that tests run on a fake tree. By default
  // platform::SysfsRoot() and platform::DevRoot().
  explicit PortMap(std::string OverrideDir = DefaultOverrideDir(), std::string SysRoot = {},
                   std::string DevRoot = {});

  // Override entries first (by port number), then the system's devices; a port name that an
  // override entry already has is not listed twice.
  std::vector<PortMapEntry> Entries() const;

  // The device path for Name: a name beginning with "/" is a path already; otherwise the
  // entry whose port name equals Name regardless of case. Empty when nothing matches.
  std::optional<std::string> Resolve(const std::string& Name) const;

  // Makes COM<PortNo> name DevicePath in the override directory (created if missing),
  // replacing an entry of that number. False with LastError() set on failure.
  bool AddOverride(std::uint32_t PortNo, const std::string& DevicePath) const;
  // Removes the override entry of COM<PortNo>; true also when there was none.
  bool RemoveOverride(std::uint32_t PortNo) const;

  const std::string& OverrideDir() const { return overrideDir_; }

 private:
  std::vector<PortMapEntry> OverrideEntries() const;
  std::vector<PortMapEntry> SystemEntries() const;

  std::string overrideDir_;
  std::string sysRoot_;
  std::string devRoot_;
};

// The port number of a "COMn" name (any case), or nothing.
std::optional<std::uint32_t> ComPortNumber(const std::string& Name);

}  // namespace sk::platform
