#pragma once
// What the device tree tells about each serial tty: its driver, where its device lives, the
// USB device and interface behind it, and the names the hardware database gives them.
// Read without opening any port.
#include <cstdint>
#include <string>
#include <vector>

namespace sk::platform {

struct TtyDevice {
  std::string Name;      // "ttyUSB0"
  std::string Node;      // "/dev/ttyUSB0"
  std::string PortName;  // "COM33"
  std::string RegKey;    // device path below the tree's root
  std::string Service;   // the driver: ftdi_sio, cdc_acm, serial8250, ...
  std::string Description;
  std::string Manufacturer;
  std::string SerialNumber;
  std::string InstanceId;  // USB\VID_0403&PID_6001\A50285BI
  std::string ByIdLink;    // the /dev/serial/by-id link naming the node, if any
  std::uintptr_t DevInst = 0;
  bool HasDevice = false;  // a bus device is behind the tty
  bool IsModem = false;    // a CDC-ACM port whose interface speaks AT commands
  // The USB device the tty belongs to (its path below the root), empty for other buses.
  std::string UsbDevice;
  std::string UsbProduct;
  std::string UsbVendorModel;  // the database model of the USB device
  std::string UsbInstanceId;   // without the interface
};

// Every serial tty of the tree, by port number.
std::vector<TtyDevice> ReadTtyDevices(const std::string& SysRoot, const std::string& DevRoot);

}  // namespace sk::platform
