#include "serialkit/platform/posix/tty_devices.h"

#include <sys/stat.h>

#include <cstdio>
#include <map>

#include "serialkit/discovery/port_numbering.h"
#include "serialkit/platform/posix/sysfs.h"
#include "serialkit/platform/posix/udev_library.h"

namespace sk::platform {

namespace {

// A driver's port device on current kernels sits between the tty and the driver's own
// device; a few levels cover every layout seen.
constexpr int kSerialBaseDepth = 4;
// From a tty's device up to its USB interface and device.
constexpr int kUsbDepth = 8;

std::string Parent(const std::string& Path) {
  const auto slash = Path.rfind('/');
  return slash == std::string::npos || slash == 0 ? std::string() : Path.substr(0, slash);
}

std::string BaseName(const std::string& Path) {
  const auto slash = Path.rfind('/');
  return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

bool Below(const std::string& Path, const std::string& Root) {
  return Path.size() > Root.size() && Path.compare(0, Root.size(), Root) == 0 &&
         Path[Root.size()] == '/';
}

std::string Upper(std::string S) {
  for (char& c : S)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return S;
}

bool IsHex4(const std::string& S) {
  if (S.size() != 4) return false;
  for (char c : S)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

struct UsbDevice {
  std::string vendorId, productId, serial, manufacturer, product, numInterfaces;
  std::string model, vendor;  // from the hardware database
};

// The way up from a directory to its ancestor Levels above ("../../"), so that the
// ancestors of a device are read from the device's open directory.
std::string Up(int Levels) {
  std::string up;
  for (int i = 0; i < Levels; ++i) up += "../";
  return up;
}

class TreeReader {
 public:
  TreeReader(const std::string& SysRoot, const std::string& DevRoot)
      : sysRoot_(sysfs::Resolve(SysRoot).value_or(SysRoot)),
        devRoot_(DevRoot),
        classPath_(SysRoot + "/class/tty"),
        classDir_(classPath_) {
    // The by-id folder names links after the devices; one read serves every tty.
    const std::string byId = DevRoot + "/serial/by-id";
    for (const std::string& link : sysfs::FolderNames(byId)) {
      const std::string target = sysfs::LinkTargetName(byId + "/" + link);
      if (!target.empty()) byIdLinks_.emplace(target, byId + "/" + link);
    }
  }

  TtyDevice Read(const std::string& Name, std::uint32_t PortNo) {
    TtyDevice t;
    t.Name = Name;
    t.Node = devRoot_ + "/" + Name;
    t.PortName = ComPortName(PortNo);
    if (const auto link = byIdLinks_.find(Name); link != byIdLinks_.end())
      t.ByIdLink = link->second;
    // Everything about the device is read from its open directory: the paths below the
    // root are long, and looking each of them up again would cost more than the reading.
    const sysfs::Dir device(classDir_, Name + "/device");
    const auto devicePath = device.ResolvedPath();
    t.HasDevice = devicePath && Below(*devicePath, sysRoot_);
    std::string at;
    if (t.HasDevice) {
      at = *devicePath;
      t.DevInst = device.Inode();
    } else {
      const sysfs::Dir tty(classDir_, Name);
      at = tty.ResolvedPath().value_or(classPath_ + "/" + Name);
      t.DevInst = tty.Inode();
    }
    t.RegKey = Below(at, sysRoot_) ? at.substr(sysRoot_.size() + 1) : at;
    if (!t.HasDevice) {
      t.Service = SplitTtyName(Name).Kind == "rfcomm" ? "rfcomm" : "";
      t.Description = t.Service;
      return t;
    }
    // The driver: past the serial core's own port and controller devices.
    std::string owner = *devicePath;
    int ownerUp = 0;
    for (int i = 0; i < kSerialBaseDepth &&
                    sysfs::LinkTargetName(device, Up(ownerUp) + "subsystem") == "serial-base";
         ++i) {
      const std::string up = Parent(owner);
      if (!Below(up, sysRoot_)) break;
      owner = up;
      ++ownerUp;
    }
    t.Service = sysfs::LinkTargetName(device, Up(ownerUp) + "driver");
    ReadUsb(device, *devicePath, t);
    if (t.Description.empty()) t.Description = t.Service;
    if (t.InstanceId.empty()) {
      const std::string bus = Upper(sysfs::LinkTargetName(device, Up(ownerUp) + "subsystem"));
      const std::string id = sysfs::Attribute(device, Up(ownerUp) + "id");
      if (!bus.empty()) t.InstanceId = bus + "\\" + (id.empty() ? "" : id + "\\") + BaseName(owner);
    }
    return t;
  }

 private:
  // Device is the tty's device, open, and DevicePath where it lies.
  void ReadUsb(const sysfs::Dir& Device, const std::string& DevicePath, TtyDevice& t) {
    std::string iface = DevicePath;
    int depth = 0;
    while (depth < kUsbDepth && Below(iface, sysRoot_) &&
           !sysfs::Exists(Device, Up(depth) + "bInterfaceNumber")) {
      iface = Parent(iface);
      ++depth;
    }
    if (depth == kUsbDepth || !Below(iface, sysRoot_)) return;
    const std::string usb = Parent(iface);
    const std::string toIface = Up(depth);
    const std::string toUsb = Up(depth + 1);
    if (!Below(usb, sysRoot_)) return;
    // The other ports of a USB device already read need not look again.
    if (!usb_.contains(usb) && !sysfs::Exists(Device, toUsb + "idVendor")) return;
    const UsbDevice& u = Usb(Device, toUsb, usb);
    t.UsbDevice = usb.substr(sysRoot_.size() + 1);
    t.UsbProduct = u.product;
    t.UsbVendorModel = u.model;
    t.SerialNumber = u.serial;
    const std::string ifaceText = sysfs::Attribute(Device, toIface + "interface");
    t.Description = !u.model.empty() ? u.model : !ifaceText.empty() ? ifaceText : u.product;
    t.Manufacturer = !u.manufacturer.empty() ? u.manufacturer : u.vendor;
    t.UsbInstanceId = "USB\\VID_" + Upper(u.vendorId) + "&PID_" + Upper(u.productId);
    t.InstanceId = t.UsbInstanceId;
    const std::string number = sysfs::Attribute(Device, toIface + "bInterfaceNumber");
    if (u.numInterfaces.size() > 0 && u.numInterfaces != "1" && !number.empty())
      t.InstanceId += "&MI_" + Upper(number);
    const std::string instance = !u.serial.empty() ? u.serial : BaseName(usb);
    t.UsbInstanceId += "\\" + instance;
    t.InstanceId += "\\" + instance;
    // Communication class, abstract control model, one of the AT-command protocols; only an
    // ACM port can be a modem, so no other reads the interface's class.
    if (t.Service != "cdc_acm") return;
    const std::string protocol = sysfs::Attribute(Device, toIface + "bInterfaceProtocol");
    t.IsModem = sysfs::Attribute(Device, toIface + "bInterfaceClass") == "02" &&
                sysfs::Attribute(Device, toIface + "bInterfaceSubClass") == "02" &&
                protocol >= "01" && protocol <= "06" && protocol.size() == 2;
  }

  // The USB device at Path, ToUsb the way up to it from Device.
  const UsbDevice& Usb(const sysfs::Dir& Device, const std::string& ToUsb,
                       const std::string& Path) {
    if (const auto it = usb_.find(Path); it != usb_.end()) return it->second;
    UsbDevice u;
    u.vendorId = sysfs::Attribute(Device, ToUsb + "idVendor");
    u.productId = sysfs::Attribute(Device, ToUsb + "idProduct");
    u.serial = sysfs::Attribute(Device, ToUsb + "serial");
    u.manufacturer = sysfs::Attribute(Device, ToUsb + "manufacturer");
    u.product = sysfs::Attribute(Device, ToUsb + "product");
    u.numInterfaces = sysfs::Attribute(Device, ToUsb + "bNumInterfaces");
    while (!u.numInterfaces.empty() && u.numInterfaces.front() == ' ') u.numInterfaces.erase(0, 1);
    if (IsHex4(u.vendorId) && IsHex4(u.productId)) {
      const std::string alias = "usb:v" + Upper(u.vendorId) + "p" + Upper(u.productId);
      u.model = hwdb_.Property(alias, "ID_MODEL_FROM_DATABASE");
      u.vendor = hwdb_.Property(alias, "ID_VENDOR_FROM_DATABASE");
    }
    return usb_.emplace(Path, std::move(u)).first->second;
  }

  std::string sysRoot_;
  std::string devRoot_;
  std::string classPath_;
  sysfs::Dir classDir_;
  udev::HardwareDatabase hwdb_;
  std::map<std::string, std::string> byIdLinks_;
  std::map<std::string, UsbDevice> usb_;
};

}  // namespace

std::vector<TtyDevice> ReadTtyDevices(const std::string& SysRoot, const std::string& DevRoot) {
  TreeReader reader(SysRoot, DevRoot);
  std::vector<TtyDevice> ttys;
  for (const NumberedTty& n : NumberSerialTtys(sysfs::SerialTtyNames(SysRoot)))
    ttys.push_back(reader.Read(n.Name, n.PortNo));
  return ttys;
}

}  // namespace sk::platform
