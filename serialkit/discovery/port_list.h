#pragma once
// The registry port list: the serial-port map's "COM" ports as texts "COMn=<kernel device
// name>" (or "COMn"), each with its number n, in ascending n.
#include <cstdint>
#include <string>
#include <vector>

#include "serialkit/platform/port_map.h"

namespace sk {

struct TskPortListEntry {
  std::string Text;
  std::int32_t Number = 0;
  // The text before the first "=", and after it (empty without one).
  std::string NamePart() const;
  std::string ValuePart() const;
};
using TskPortList = std::vector<TskPortListEntry>;

// Inserts Entry by its number: nothing when the list has this very text (ignoring case);
// appended when the list is empty or its last number is below Number; otherwise before the
// first entry with a greater number (nowhere when none is greater).
void AddPortSorted(const std::string& Entry, std::int32_t Number, TskPortList& List);

// Replaces List by the "COM" ports of Map, in the map's order of (kernel device name, port
// name) pairs: the port name upper-cased and trimmed; other names, names without a number
// and a port already listed are skipped. WithDeviceName appends "=" and the kernel name.
void GetSerialPortList(TskPortList& List, bool WithDeviceName,
                       const std::vector<platform::PortMapEntry>& Map);
// The same from the machine's port map.
void GetSerialPortList(TskPortList& List, bool WithDeviceName);

// Text helpers shared by the enumeration.
// Without blanks and control characters at either end.
std::string TrimText(const std::string& S);
std::string UpperCaseText(std::string S);
bool SameTextIgnoringCase(const std::string& A, const std::string& B);
// The decimal number S spells from Pos on; nothing when it is not one (or too big).
bool ParseDecimal(const std::string& S, std::size_t Pos, std::int32_t& Value);

}  // namespace sk
