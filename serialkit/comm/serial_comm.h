#pragma once
// The serial port with its identity: which port it opens (a number, a device-list entry or a
// handle opened elsewhere), and TskComm, the component that programs place on their windows.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "serialkit/comm/custom_comm.h"
#include "serialkit/platform/registry_root.h"

namespace sk {

class TskCustomSerialComm : public TskCustomComm {
 public:
  explicit TskCustomSerialComm(TComponent* AOwner = nullptr,
                               platform::TApplication& App = platform::Application());
  ~TskCustomSerialComm() override { Shutdown(); }
  std::string ClassName() const override { return "TskCustomSerialComm"; }

  std::uint16_t ComPortNo() const { return fComPortNo; }
  // Closes, takes the number, reopens if the port was open, then notification 3.
  void SetComPortNo(std::uint16_t Value);
  // cpCOM1..cpCOM8 for ports 1 to 8, cpCOMxx otherwise; setting cpCOMxx changes nothing.
  TComPort ComPort() const;
  void SetComPort(TComPort Value);
  // Read only by DeviceListLoad: a new mode shows with the next load.
  TskEnumPorts EnumPorts() const { return fEnumPorts.load(); }
  void SetEnumPorts(TskEnumPorts Value) { fEnumPorts.store(Value); }

  // The device path (or "COMn" name) that the next open uses instead of ComPortNo; empty
  // returns to the number. An open port stays on its device until it is opened again. A path
  // that does not open is the same fatal error, with the system's reason, as a number.
  std::string DevicePath() const;
  void SetDevicePath(std::string Path);

  // Continues on a device that somebody else opened: closes an open port and opens on it.
  // A null handle changes nothing.
  void SetExtHandle(THandle aHandle);
  // Clears the device list, loads it again and sends ncDeviceChanged.
  void Update() override;
  // Appends the machine's serial ports, by ascending port number; with EnumPorts other than
  // epQuickAll they carry the descriptions of the devices behind them.
  void DeviceListLoad() override;

  // --- Saved configuration (a 49-byte binary value; failures are fatal errors) -----------
  // Stores ComPortNo's low 8 bits and the line settings record as the value Name of Key.
  virtual void SaveConfig(platform::RegistryRoot Root, const std::string& Key,
                          const std::string& Name);
  // Takes a stored value over (port number, then line settings); a value that is absent or
  // of another length changes nothing.
  virtual void LoadConfig(platform::RegistryRoot Root, const std::string& Key,
                          const std::string& Name);

  // --- Device identification ------------------------------------------------------------
  // On an open port: whether the device answers DTR with DSR within 200 ms (a fatal error
  // when it does not). Nothing on a closed port.
  virtual void InitDeviceConnect();
  // The identification string of a serial plug-and-play device, from its begin marker
  // through its end marker; empty when the port does not open or nothing identifiable comes.
  // The port, its settings and its trace states are as before afterwards.
  virtual std::string GetPNPDeviceString();

 protected:
  THandle DeviceOpen() override;
  // Opens a port by name ("COMn" through the port map, or a path); null with the system
  // error left for the caller.
  virtual THandle OpenDevicePath(const std::string& Name);
  std::string GetComName() const override;
  // Sets ComPortNo to the low 16 bits of the entry's Data; out of range: nothing.
  void DoSetDeviceIndex(int Value) override;
  // The entry that carries ComPortNo, or -1.
  int GetDeviceIndex() const override;

 private:
  // The PortName of the entry at Index; empty when there is none.
  std::string DevicePortName(int Index) const;
  // Takes one byte that arrives within Ms, serving the thread's messages while waiting.
  bool ReadByteWithin(Byte& Value, std::uint32_t Ms);
  // Reads the identification once the lines have been toggled for it.
  std::string ReadPNPString();

  std::uint16_t fComPortNo = 0;
  THandle fExtHandle;
  // Read by an open in a worker thread (a reopen, the keep-connection timer).
  mutable std::mutex pathMutex_;
  std::string devicePath_;
  std::atomic<TskEnumPorts> fEnumPorts{epQuickAll};
};

class TskComm : public TskCustomSerialComm {
 public:
  explicit TskComm(TComponent* AOwner = nullptr,
                   platform::TApplication& App = platform::Application())
      : TskCustomSerialComm(AOwner, App) {}
  ~TskComm() override { Shutdown(); }
  std::string ClassName() const override { return "TskComm"; }
};

}  // namespace sk
