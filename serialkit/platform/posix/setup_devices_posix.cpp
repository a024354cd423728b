// The setup classes on a machine without a setup library: serial ttys read from the device
// tree, sorted into the classes a Windows machine would show them under. Ports and the
// COM-port interface: every tty with a device; Modem: CDC-ACM ports that speak AT commands;
// Bluetooth: rfcomm links; Infrared: ircomm ports; Multiport serial: one record per USB
// device with several ttys. The tree shows attached devices only, so PresentOnly changes
// nothing.
#include <map>
#include <optional>

#include "serialkit/platform/device_roots.h"
#include "serialkit/discovery/port_numbering.h"
#include "serialkit/platform/posix/sysfs.h"
#include "serialkit/platform/posix/tty_devices.h"
#include "serialkit/platform/setup_classes.h"
#include "serialkit/platform/setup_devices.h"

namespace sk::platform {

namespace {

enum class Kind { None, Ports, Modem, Bluetooth, Infrared, Multiport };

Kind KindOf(const TGUID& Guid, bool ByClass) {
  if (!ByClass) {
    if (Guid == GUID_DEVINTERFACE_COMPORT) return Kind::Ports;
    if (Guid == GUID_DEVINTERFACE_MODEM) return Kind::Modem;
    return Kind::None;
  }
  if (Guid == GUID_DEVCLASS_PORTS) return Kind::Ports;
  if (Guid == GUID_DEVCLASS_MODEM) return Kind::Modem;
  if (Guid == GUID_DEVCLASS_BLUETOOTH) return Kind::Bluetooth;
  if (Guid == GUID_DEVCLASS_INFRARED) return Kind::Infrared;
  if (Guid == GUID_DEVCLASS_MULTIPORTSERIAL) return Kind::Multiport;
  return Kind::None;
}

bool Belongs(const TtyDevice& t, Kind K) {
  const std::string kind = SplitTtyName(t.Name).Kind;
  switch (K) {
    case Kind::Ports:
      return t.HasDevice;
    case Kind::Modem:
      return t.IsModem;
    case Kind::Bluetooth:
      return kind == "rfcomm";
    case Kind::Infrared:
      return kind == "ircomm" || kind == "ttyIRCOMM";
    default:
      return false;
  }
}

// The other ttys of the same USB device, joined with ";".
std::string Siblings(const std::vector<TtyDevice>& All, const TtyDevice& t) {
  std::string joined;
  if (t.UsbDevice.empty()) return joined;
  for (const TtyDevice& o : All)
    if (&o != &t && o.UsbDevice == t.UsbDevice) joined += (joined.empty() ? "" : ";") + o.Name;
  return joined;
}

thread_local SetupEnumerationScope::Cache* tCache = nullptr;

}  // namespace

struct SetupEnumerationScope::Cache {
  // The port map read within the scope lists the same ttys as the records.
  sysfs::TtyClassReading classReading;
  std::optional<std::vector<TtyDevice>> ttys;
};

SetupEnumerationScope::SetupEnumerationScope()
    : previous_(tCache), cache_(std::make_unique<Cache>()) {
  tCache = cache_.get();
}

SetupEnumerationScope::~SetupEnumerationScope() {
  tCache = previous_;
}

void EnumSetupDevices(const TGUID* ClassGuid, bool, bool ByClass, bool WithInterface,
                      std::vector<SetupDeviceRecord>& List) {
  if (ClassGuid == nullptr) return;
  const Kind kind = KindOf(*ClassGuid, ByClass);
  if (kind == Kind::None) return;
  std::vector<TtyDevice> read;
  if (tCache == nullptr || !tCache->ttys) {
    read = ReadTtyDevices(SysfsRoot(), DevRoot());
    if (tCache != nullptr) tCache->ttys = std::move(read);
  }
  const std::vector<TtyDevice>& ttys = tCache != nullptr ? *tCache->ttys : read;
  const std::string classText = GuidToString(*ClassGuid);

  if (kind == Kind::Multiport) {
    std::map<std::string, std::vector<const TtyDevice*>> byUsb;
    std::vector<std::string> order;
    for (const TtyDevice& t : ttys) {
      if (t.UsbDevice.empty()) continue;
      auto& group = byUsb[t.UsbDevice];
      if (group.empty()) order.push_back(t.UsbDevice);
      group.push_back(&t);
    }
    for (const std::string& usb : order) {
      const auto& group = byUsb[usb];
      if (group.size() < 2) continue;
      const TtyDevice& first = *group.front();
      SetupDeviceRecord r;
      r.Driver = classText + "\\" + usb.substr(usb.rfind('/') + 1);
      r.Service = first.Service;
      r.Description = !first.UsbVendorModel.empty() ? first.UsbVendorModel
                      : !first.UsbProduct.empty()   ? first.UsbProduct
                                                    : first.Service;
      r.Manufacturer = first.Manufacturer;
      r.RegKey = usb;
      r.InstanceId = first.UsbInstanceId;
      r.DevInst = first.DevInst;
      for (const TtyDevice* t : group)
        r.BusRelations += (r.BusRelations.empty() ? "" : ";") + t->Name;
      r.SerialNumber = first.SerialNumber;
      r.GuidClass = *ClassGuid;
      List.push_back(std::move(r));
    }
    return;
  }

  for (const TtyDevice& t : ttys) {
    if (!Belongs(t, kind)) continue;
    SetupDeviceRecord r;
    r.Driver = classText + "\\" + t.Name;
    r.Service = t.Service;
    r.NamePDO = t.Node;
    r.Description = t.Description;
    r.Manufacturer = t.Manufacturer;
    if (!ByClass) {
      // An interface record: its path, and the class of the device that offers it.
      r.NameSymbolic = t.ByIdLink.empty() ? t.Node : t.ByIdLink;
      r.GuidClass = kind == Kind::Modem ? GUID_DEVCLASS_MODEM : GUID_DEVCLASS_PORTS;
      List.push_back(std::move(r));
      continue;
    }
    r.GuidClass = *ClassGuid;
    r.RegKey = t.RegKey;
    r.NameSymbolic = t.ByIdLink;
    r.PortName = t.PortName;
    r.InstanceId = t.InstanceId;
    r.DevInst = t.DevInst;
    r.BusRelations = Siblings(ttys, t);
    r.SerialNumber = t.SerialNumber;
    if (WithInterface && r.NameSymbolic.empty()) r.NameSymbolic = t.Node;
    List.push_back(std::move(r));
  }
}

}  // namespace sk::platform
