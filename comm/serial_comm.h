#pragma once
// The serial port with its identity: which port it opens (a number, a device-list entry or a
// handle opened elsewhere), and TskComm, the component that programs place on their windows.
#include <cstdint>
#include <string>

#include "comm/custom_comm.h"

namespace sk {

class TskCustomSerialComm : public TskCustomComm {
 public:
  explicit TskCustomSerialComm(TComponent* AOwner = nullptr);
  ~TskCustomSerialComm() override { Shutdown(); }
  std::string ClassName() const override { return "TskCustomSerialComm"; }

  std::uint16_t ComPortNo() const { return fComPortNo; }
  // Closes, takes the number, reopens if the port was open, then notification 3.
  void SetComPortNo(std::uint16_t Value);
  // cpCOM1..cpCOM8 for ports 1 to 8, cpCOMxx otherwise; setting cpCOMxx changes nothing.
  TComPort ComPort() const;
  void SetComPort(TComPort Value);
  TskEnumPorts EnumPorts() const { return fEnumPorts; }
  void SetEnumPorts(TskEnumPorts Value) { fEnumPorts = Value; }

  // Continues on a device that somebody else opened: closes an open port and opens on it.
  // A null handle changes nothing.
  void SetExtHandle(THandle aHandle);
  void Update() override;

 protected:
  THandle DeviceOpen() override;
  // Opens a port by name ("COMn" through the port map, or a path); null with the system
  // error left for the caller.
  virtual THandle OpenDevicePath(const std::string& Name);
  std::string GetComName() const override;
  void DoSetDeviceIndex(int Value) override;
  int GetDeviceIndex() const override;
  // The device list: loading, clearing, and the port name of an entry. The enumeration of
  // the machine's ports fills these in; until then the list is empty and the port opens by
  // number.
  virtual void DeviceListLoad() {}
  virtual void DeviceListClear() {}
  virtual int DeviceCount() const { return 0; }
  virtual std::int32_t DeviceData(int Index) const;
  virtual std::string DevicePortName(int Index) const;

 private:
  std::uint16_t fComPortNo = 0;
  THandle fExtHandle;
  TskEnumPorts fEnumPorts = epQuickAll;
};

class TskComm : public TskCustomSerialComm {
 public:
  explicit TskComm(TComponent* AOwner = nullptr) : TskCustomSerialComm(AOwner) {}
  ~TskComm() override { Shutdown(); }
  std::string ClassName() const override { return "TskComm"; }
};

}  // namespace sk
