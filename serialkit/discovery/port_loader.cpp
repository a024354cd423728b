#include "serialkit/discovery/port_loader.h"

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace sk {

namespace {

// Finds, port after port, the first record of S not yet used that names the port: by its
// port name (ignoring case) or by "(Port)" in its description (case counts). The records are
// indexed once, so that a machine of hundreds of ports is not searched record by record for
// each of them.
class DeviceFinder {
 public:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  explicit DeviceFinder(const TskSetupDeviceList& S) : s_(S), used_(S.size(), false) {
    for (std::size_t i = 0; i < S.size(); ++i) {
      byName_[UpperCaseText(S[i].Device->PortName)].records.push_back(i);
      // Each "(" with the text up to the next ")": a port name without parentheses appears
      // in parentheses exactly where it is such a text.
      const std::string& d = S[i].Device->Description;
      for (auto open = d.find('('); open != std::string::npos; open = d.find('(', open + 1)) {
        const auto close = d.find(')', open + 1);
        if (close == std::string::npos) break;
        byParenthesis_[d.substr(open + 1, close - open - 1)].records.push_back(i);
      }
    }
  }

  std::size_t Find(const std::string& Port) {
    if (Port.find_first_of("()") != std::string::npos) return Search(Port);
    return std::min(First(byName_, UpperCaseText(Port)), First(byParenthesis_, Port));
  }
  void Use(std::size_t Index) {
    used_[Index] = true;
    ++usedCount_;
  }
  std::size_t Unused() const { return s_.size() - usedCount_; }
  // S without the records used, in their order.
  void RemoveUsed(TskSetupDeviceList& S) const {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < S.size(); ++i)
      if (!used_[i]) {
        if (kept != i) S[kept] = std::move(S[i]);
        ++kept;
      }
    S.erase(S.begin() + static_cast<std::ptrdiff_t>(kept), S.end());
  }

 private:
  struct Records {
    std::vector<std::size_t> records;  // ascending
    std::size_t next = 0;              // those before it are used
  };
  using Index = std::unordered_map<std::string, Records>;

  std::size_t First(Index& In, const std::string& Key) {
    const auto it = In.find(Key);
    if (it == In.end()) return kNone;
    Records& r = it->second;
    while (r.next < r.records.size() && used_[r.records[r.next]]) ++r.next;
    return r.next < r.records.size() ? r.records[r.next] : kNone;
  }
  // A name with parentheses of its own is looked for record by record.
  std::size_t Search(const std::string& Port) const {
    const std::string inParentheses = "(" + Port + ")";
    for (std::size_t i = 0; i < s_.size(); ++i)
      if (!used_[i] && (SameTextIgnoringCase(s_[i].Device->PortName, Port) ||
                        s_[i].Device->Description.find(inParentheses) != std::string::npos))
        return i;
    return kNone;
  }

  const TskSetupDeviceList& s_;
  std::vector<bool> used_;
  std::size_t usedCount_ = 0;
  Index byName_;
  Index byParenthesis_;
};

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
  std::optional<DeviceFinder> finder;
  if (WithDevices) finder.emplace(S);
  for (const TskPortListEntry& entry : P) {
    auto r = std::make_unique<TskDevice>();
    r->NameFriendly = TrimText(entry.NamePart());
    r->NameDeviceDos = r->NameFriendly;
    r->NamePDO = entry.ValuePart();
    r->Data = entry.Number;
    r->PortName = r->NameDeviceDos;
    bool matched = false;
    if (finder) {
      if (const std::size_t i = finder->Find(r->NameDeviceDos); i != DeviceFinder::kNone) {
        const TskDevice& s = *S[i].Device;
        TakeDescription(*r, s);
        r->DevInst = s.DevInst;
        r->InstanceId = s.InstanceId;
        finder->Use(i);
        matched = true;
      }
    }
    const std::size_t unclaimed = finder ? finder->Unused() : S.size();
    if (PresentOnly && !matched && unclaimed != 0) continue;
    Insert(std::move(r));
  }
  if (!finder) return;
  finder->RemoveUsed(S);
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
