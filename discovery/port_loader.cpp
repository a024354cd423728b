#include "discovery/port_loader.h"

#include <algorithm>

namespace sk {

namespace {

// The device that names Port: by its port name (ignoring case) or by "(Port)" in its
// description (case counts).
TskSetupDeviceList::iterator FindDevice(TskSetupDeviceList& S, const std::string& Port) {
  const std::string inParentheses = "(" + Port + ")";
  return std::find_if(S.begin(), S.end(), [&](const TskSetupDeviceEntry& e) {
    return SameTextIgnoringCase(e.Device->PortName, Port) ||
           e.Device->Description.find(inParentheses) != std::string::npos;
  });
}

void TakeDescription(TskDevice& r, const TskDevice& s) {
  r.Service = s.Service;
  r.Description = s.Description;
  if (!r.Description.empty()) r.NameFriendly += " (" + r.Description + ")";
  r.Driver = s.Driver;
  r.Manufacturer = s.Manufacturer;
  r.PortName = TrimText(s.PortName);
  r.RegKey = s.RegKey;
}

std::string ValueOf(const TskPortList& P, const std::string& Name) {
  for (const TskPortListEntry& e : P)
    if (SameTextIgnoringCase(e.NamePart(), Name)) return e.ValuePart();
  return {};
}

}  // namespace

void JoinPortsAndDevices(const TskPortList& P, TskSetupDeviceList& S, bool WithDevices,
                         bool PresentOnly, const TskDeviceInserter& Insert) {
  for (const TskPortListEntry& entry : P) {
    auto r = std::make_unique<TskDevice>();
    r->NameFriendly = TrimText(entry.NamePart());
    r->NameDeviceDos = r->NameFriendly;
    r->NamePDO = entry.ValuePart();
    r->Data = entry.Number;
    r->PortName = r->NameDeviceDos;
    bool matched = false;
    if (WithDevices) {
      if (const auto s = FindDevice(S, r->NameDeviceDos); s != S.end()) {
        TakeDescription(*r, *s->Device);
        r->DevInst = s->Device->DevInst;
        r->InstanceId = s->Device->InstanceId;
        S.erase(s);
        matched = true;
      }
    }
    if (PresentOnly && !matched && !S.empty()) continue;
    Insert(std::move(r));
  }
  if (!WithDevices) return;
  std::int32_t counter = 4096;
  for (const TskSetupDeviceEntry& e : S) {
    const TskDevice& s = *e.Device;
    if (s.PortName.empty() || s.PortName.compare(0, 3, "LPT") == 0) continue;
    auto r = std::make_unique<TskDevice>();
    r->NameFriendly = s.PortName.substr(0, s.PortName.find('\0'));
    r->NameDeviceDos = r->NameFriendly;
    r->NamePDO = ValueOf(P, r->NameFriendly);
    if (s.PortName.compare(0, 3, "COM") == 0) {
      if (!ParseDecimal(s.PortName, 3, r->Data)) r->Data = 0;
    } else {
      r->Data = ++counter;
    }
    TakeDescription(*r, s);
    Insert(std::move(r));
  }
  S.clear();
}

}  // namespace sk
