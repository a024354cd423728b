#include "serialkit/discovery/port_list.h"

#include <algorithm>
#include <cctype>
#include <unordered_set>

namespace sk {

std::string TskPortListEntry::NamePart() const {
  return Text.substr(0, Text.find('='));
}

std::string TskPortListEntry::ValuePart() const {
  const auto eq = Text.find('=');
  return eq == std::string::npos ? std::string() : Text.substr(eq + 1);
}

std::string TrimText(const std::string& S) {
  std::size_t b = 0, e = S.size();
  while (b < e && static_cast<unsigned char>(S[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(S[e - 1]) <= ' ') --e;
  return S.substr(b, e - b);
}

namespace {

// Letters a to z only: port names are ASCII, and the answer must not change with the
// locale a front end sets.
constexpr char AsciiUpper(char C) {
  return C >= 'a' && C <= 'z' ? static_cast<char>(C - 'a' + 'A') : C;
}

}  // namespace

std::string UpperCaseText(std::string S) {
  for (char& c : S) c = AsciiUpper(c);
  return S;
}

bool SameTextIgnoringCase(const std::string& A, const std::string& B) {
  return std::equal(A.begin(), A.end(), B.begin(), B.end(),
                    [](char a, char b) { return AsciiUpper(a) == AsciiUpper(b); });
}

bool ParseDecimal(const std::string& S, std::size_t Pos, std::int32_t& Value) {
  if (Pos >= S.size()) return false;
  std::int64_t n = 0;
  for (std::size_t i = Pos; i < S.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(S[i]))) return false;
    n = n * 10 + (S[i] - '0');
    if (n > INT32_MAX) return false;
  }
  Value = static_cast<std::int32_t>(n);
  return true;
}

namespace {

// AddPortSorted's placing, for an entry known not to be in the list.
void InsertByNumber(const std::string& Entry, std::int32_t Number, TskPortList& List) {
  if (List.empty() || List.back().Number < Number) {
    List.push_back({Entry, Number});
    return;
  }
  const auto at = std::find_if(List.begin(), List.end(),
                               [Number](const TskPortListEntry& e) { return e.Number > Number; });
  if (at != List.end()) List.insert(at, {Entry, Number});
}

}  // namespace

void AddPortSorted(const std::string& Entry, std::int32_t Number, TskPortList& List) {
  for (const TskPortListEntry& e : List)
    if (SameTextIgnoringCase(e.Text, Entry)) return;
  InsertByNumber(Entry, Number, List);
}

void GetSerialPortList(TskPortList& List, bool WithDeviceName,
                       const std::vector<platform::PortMapEntry>& Map) {
  List.clear();
  // The name parts listed so far: each is an upper-cased s, so the same name ignoring case
  // is the same text. A machine of hundreds of ports is not compared pair by pair.
  std::unordered_set<std::string> listed;
  for (const platform::PortMapEntry& value : Map) {
    std::string s = TrimText(UpperCaseText(value.PortName));
    if (s.compare(0, 3, "COM") != 0 || listed.contains(s)) continue;
    std::int32_t n = 0;
    if (!ParseDecimal(s, 3, n)) continue;
    // AddPortSorted without its search for the same text: an entry's text is its name part
    // (then "=" and the device name), so the same text would be a name already listed.
    const std::size_t before = List.size();
    InsertByNumber(WithDeviceName ? s + "=" + value.DevicePath : s, n, List);
    if (List.size() != before) listed.insert(std::move(s));
  }
}

void GetSerialPortList(TskPortList& List, bool WithDeviceName) {
  GetSerialPortList(List, WithDeviceName, platform::PortMap().Entries());
}

}  // namespace sk
