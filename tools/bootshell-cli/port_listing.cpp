#include "port_listing.h"

#include <nlohmann/json.hpp>

#include <cctype>

#include "serialkit/comm/serial_comm.h"
#include "serialkit/discovery/setup_devices.h"

namespace bootshell::cli {

namespace {

// Takes "<Key><Digits hex digits>" from the front of Text.
bool TakeHex(std::string_view& Text, std::string_view Key, std::size_t Digits, std::string& Out) {
  if (!Text.starts_with(Key) || Text.size() < Key.size() + Digits) return false;
  const auto hex = Text.substr(Key.size(), Digits);
  for (char c : hex)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  Out.assign(hex);
  for (char& c : Out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  Text.remove_prefix(Key.size() + Digits);
  return true;
}

}  // namespace

std::optional<UsbIdentity> UsbIdentityOf(const sk::TskDevice& SetupRecord) {
  // USB\VID_0403&PID_6010&MI_01\FT1234; a device of one interface has no MI part, and
  // its only interface is number 0.
  std::string_view id = SetupRecord.InstanceId;
  UsbIdentity u;
  if (!TakeHex(id, "USB\\VID_", 4, u.vendorId) || !TakeHex(id, "&PID_", 4, u.productId))
    return std::nullopt;
  if (std::string mi; TakeHex(id, "&MI_", 2, mi)) u.interfaceNumber = std::stoi(mi, nullptr, 16);
  u.serialNumber = SetupRecord.SerialNumber;
  if (SetupRecord.NameSymbolic.find("/serial/by-id/") != std::string::npos)
    u.byIdLink = SetupRecord.NameSymbolic;
  return u;
}

UsbIdentities ReadUsbIdentities() {
  UsbIdentities found;
  for (const sk::TskSetupClass& c : sk::kSerialSetupClasses) {
    // Only the device classes' records name their port.
    if (!c.ByClass) continue;
    sk::TskSetupDeviceList list;
    sk::EnumSetupDevices(&c.Guid, false, c.ByClass, c.WithInterface, list);
    for (const sk::TskSetupDeviceEntry& e : list) {
      const std::string port = e.Device->PortName.substr(0, e.Device->PortName.find('\0'));
      if (port.empty() || found.contains(port)) continue;
      if (auto u = UsbIdentityOf(*e.Device)) found.emplace(port, std::move(*u));
    }
  }
  return found;
}

std::string FormatPortLines(const sk::TskDeviceItems& Items, const UsbIdentities* Serials) {
  std::string text;
  for (const sk::TskDeviceItem& item : Items) {
    text += item.Name + "\t" + item.Object->PortName + "\t" + item.Object->NamePDO;
    if (Serials != nullptr) {
      const auto u = Serials->find(item.Object->PortName);
      text += "\t" + (u != Serials->end() ? u->second.serialNumber : std::string());
    }
    text += "\n";
  }
  return text;
}

std::string FormatPortJson(const sk::TskDeviceItems& Items, const UsbIdentities& Usb) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const sk::TskDeviceItem& item : Items) {
    const sk::TskDevice& d = *item.Object;
    list.push_back({
        {"Index", d.Index()},
        {"Handle", d.Handle},
        {"DevInst", d.DevInst},
        {"Data", d.Data},
        {"DataEx", d.DataEx},
        {"NameFriendly", d.NameFriendly},
        {"NamePDO", d.NamePDO},
        {"NameDeviceDos", d.NameDeviceDos},
        {"NameSymbolic", d.NameSymbolic},
        {"RegKey", d.RegKey},
        {"Description", d.Description},
        {"Service", d.Service},
        {"Driver", d.Driver},
        {"InstanceId", d.InstanceId},
        {"BusRelations", d.BusRelations},
        {"PortName", d.PortName},
        {"Manufacturer", d.Manufacturer},
        {"SerialNumber", d.SerialNumber},
        {"GuidClass", sk::platform::GuidToString(d.GuidClass)},
    });
    if (const auto u = Usb.find(d.PortName); u != Usb.end()) {
      const auto orNull = [](const std::string& T) -> nlohmann::ordered_json {
        if (T.empty()) return nullptr;
        return T;
      };
      list.back()["Usb"] = {
          {"VendorId", u->second.vendorId},
          {"ProductId", u->second.productId},
          {"SerialNumber", orNull(u->second.serialNumber)},
          {"ByIdLink", orNull(u->second.byIdLink)},
          {"InterfaceNumber", u->second.interfaceNumber},
      };
    }
  }
  // Names from the device tree need not be UTF-8 (an override link may name any path).
  return list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::string ListPorts(sk::TskEnumPorts Mode, bool Json) {
  sk::TskComm comm;
  comm.SetEnumPorts(Mode);
  sk::TskDeviceItems items;
  comm.GetDeviceList(&items);
  if (!Json && Mode == sk::epQuickAll) return FormatPortLines(items);
  const UsbIdentities usb = ReadUsbIdentities();
  return Json ? FormatPortJson(items, usb) : FormatPortLines(items, &usb);
}

}  // namespace bootshell::cli
