#include "port_listing.h"

#include <nlohmann/json.hpp>

#include "serialkit/comm/serial_comm.h"

namespace bootshell::cli {

std::string FormatPortLines(const sk::TskDeviceItems& Items) {
  std::string text;
  for (const sk::TskDeviceItem& item : Items)
    text += item.Name + "\t" + item.Object->PortName + "\t" + item.Object->NamePDO + "\n";
  return text;
}

std::string FormatPortJson(const sk::TskDeviceItems& Items) {
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
  }
  // Names from the device tree need not be UTF-8 (an override link may name any path).
  return list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::string ListPorts(sk::TskEnumPorts Mode, bool Json) {
  sk::TskComm comm;
  comm.SetEnumPorts(Mode);
  sk::TskDeviceItems items;
  comm.GetDeviceList(&items);
  return Json ? FormatPortJson(items) : FormatPortLines(items);
}

}  // namespace bootshell::cli
