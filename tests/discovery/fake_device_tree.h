#pragma once
// A device tree laid out as the kernel shows it, built in a scratch folder, with the
// environment pointing the enumeration at it (sysfs root, device root, port-map override
// folder, no udev) for the life of the object.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/scratch_dir.h"

namespace discoverytest {

namespace fs = std::filesystem;

class FakeDeviceTree {
 public:
  FakeDeviceTree() {
    fs::create_directories(Sys() + "/class/tty");
    fs::create_directories(Dev());
    ::setenv("SK_SYSFS_ROOT", Sys().c_str(), 1);
    ::setenv("SK_DEV_ROOT", Dev().c_str(), 1);
    ::setenv("SK_PORTMAP_DIR", Overrides().c_str(), 1);
    ::setenv("SK_NO_UDEV", "1", 1);
  }
  ~FakeDeviceTree() {
    for (const char* name : {"SK_SYSFS_ROOT", "SK_DEV_ROOT", "SK_PORTMAP_DIR", "SK_NO_UDEV"})
      ::unsetenv(name);
  }

  std::string Sys() const { return root_ / "sys"; }
  std::string Dev() const { return root_ / "dev"; }
  std::string Overrides() const { return root_ / "ports"; }

  // A file of the tree, relative to the sysfs root.
  void Attr(const std::string& Path, const std::string& Text) const {
    root_.WriteFile("sys/" + Path, Text + "\n");
  }
  // A symbolic link at Path (relative to the sysfs root) to Target (relative to it too).
  void Link(const std::string& Path, const std::string& Target) const {
    const fs::path at = fs::path(Sys()) / Path;
    fs::create_directories(at.parent_path());
    fs::create_directories(fs::path(Sys()) / Target);
    if (fs::is_symlink(at)) return;  // a device shared by several ttys
    fs::create_symlink(fs::relative(fs::path(Sys()) / Target, at.parent_path()), at);
  }
  void Bound(const std::string& Device, const std::string& Bus, const std::string& Driver) const {
    Link(Device + "/subsystem", "bus/" + Bus);
    if (!Driver.empty()) Link(Device + "/driver", "bus/" + Bus + "/drivers/" + Driver);
  }
  // The tty Name below the device Device; its class entry and its device link.
  void Tty(const std::string& Device, const std::string& Name) const {
    const std::string dir = Device + "/tty/" + Name;
    fs::create_directories(fs::path(Sys()) / dir);
    Link("class/tty/" + Name, dir);
    Link(dir + "/device", Device);
  }

  // A legacy port of current kernels: PNP device, serial-core controller and port devices.
  void PnpUart(const std::string& Pnp, const std::string& Name, const std::string& Type) const {
    const std::string dev = "devices/pnp0/" + Pnp;
    Bound(dev, "pnp", "serial");
    Attr(dev + "/id", "PNP0501");
    Bound(dev + "/" + Pnp + ":0", "serial-base", "ctrl");
    const std::string port = dev + "/" + Pnp + ":0/" + Pnp + ":0.0";
    Bound(port, "serial-base", "port");
    Tty(port, Name);
    Attr(port + "/tty/" + Name + "/type", Type);
  }
  // A legacy port of older kernels: the tty right below the platform driver's device.
  void PlatformUart(const std::string& Name, const std::string& Type) const {
    const std::string dev = "devices/platform/serial8250";
    Bound(dev, "platform", "serial8250");
    Tty(dev, Name);
    Attr(dev + "/tty/" + Name + "/type", Type);
  }
  // A USB device with its ids and strings.
  std::string Usb(const std::string& Bus, const std::string& Vid, const std::string& Pid,
                  const std::string& Serial, const std::string& Maker, const std::string& Product,
                  int Interfaces) const {
    const std::string dev = "devices/pci0000:00/usb1/" + Bus;
    Bound(dev, "usb", "usb");
    Attr(dev + "/idVendor", Vid);
    Attr(dev + "/idProduct", Pid);
    if (!Serial.empty()) Attr(dev + "/serial", Serial);
    if (!Maker.empty()) Attr(dev + "/manufacturer", Maker);
    if (!Product.empty()) Attr(dev + "/product", Product);
    Attr(dev + "/bNumInterfaces", " " + std::to_string(Interfaces));
    return dev;
  }
  std::string Interface(const std::string& Usb, int Number, const std::string& Driver,
                        const std::string& Class = "ff", const std::string& SubClass = "ff",
                        const std::string& Protocol = "ff") const {
    const std::string name = Usb.substr(Usb.rfind('/') + 1) + ":1." + std::to_string(Number);
    const std::string dir = Usb + "/" + name;
    Bound(dir, "usb", Driver);
    Attr(dir + "/bInterfaceNumber", "0" + std::to_string(Number));
    Attr(dir + "/bInterfaceClass", Class);
    Attr(dir + "/bInterfaceSubClass", SubClass);
    Attr(dir + "/bInterfaceProtocol", Protocol);
    return dir;
  }
  // A USB serial converter's port below Interface.
  void UsbSerialPort(const std::string& Interface, const std::string& Name,
                     const std::string& Driver) const {
    const std::string port = Interface + "/" + Name;
    Bound(port, "usb-serial", Driver);
    Tty(port, Name);
  }
  void Rfcomm(const std::string& Name) const {
    fs::create_directories(fs::path(Sys()) / "devices/virtual/tty" / Name);
    Link("class/tty/" + Name, "devices/virtual/tty/" + Name);
  }
  void ByIdLink(const std::string& Link, const std::string& Tty) const {
    fs::create_directories(Dev() + "/serial/by-id");
    fs::create_symlink("../../" + Tty, Dev() + "/serial/by-id/" + Link);
  }
  void Override(int PortNo, const std::string& Target) const {
    fs::create_directories(Overrides());
    fs::create_symlink(Target, Overrides() + "/com" + std::to_string(PortNo));
  }

  // The machine of most tests: legacy ports of both layouts (one a phantom), a dual FTDI
  // adapter, a CDC-ACM modem and a Bluetooth link.
  void Standard() const {
    PnpUart("00:01", "ttyS0", "4");
    PlatformUart("ttyS1", "4");
    PlatformUart("ttyS2", "0");
    const std::string ftdi = Usb("1-1", "0403", "6010", "FT1234", "FTDI", "Dual RS232-HS", 2);
    UsbSerialPort(Interface(ftdi, 0, "ftdi_sio"), "ttyUSB0", "ftdi_sio");
    Attr(ftdi + "/1-1:1.0/interface", "Dual RS232-HS A");
    UsbSerialPort(Interface(ftdi, 1, "ftdi_sio"), "ttyUSB1", "ftdi_sio");
    const std::string modem = Usb("1-2", "1546", "01a8", "", "u-blox AG", "u-blox GNSS", 2);
    Tty(Interface(modem, 0, "cdc_acm", "02", "02", "01"), "ttyACM0");
    Rfcomm("rfcomm0");
    ByIdLink("usb-FTDI_Dual_RS232-HS_FT1234-if00-port0", "ttyUSB0");
  }

 private:
  testsupport::ScratchDir root_;
};

}  // namespace discoverytest
