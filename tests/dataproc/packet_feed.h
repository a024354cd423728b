#pragma once
// Feeds bytes to a collection of packet definitions the way the data processor does: each
// completed definition is read and then reset.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "serialkit/dataproc/data_packet.h"

namespace dataproc_test {

struct Found {
  std::int32_t index;
  std::int32_t tag;
  std::string data;
  bool operator==(const Found&) const = default;
  friend std::ostream& operator<<(std::ostream& os, const Found& f) {
    return os << "{" << f.index << ", " << f.tag << ", \"" << f.data << "\"}";
  }
};

inline std::vector<Found> Feed(sk::TskDataPackets& packets, const std::string& bytes,
                               bool resetCompleted = true) {
  std::vector<Found> found;
  for (char c : bytes) {
    const std::int32_t i = packets.IsPacket(static_cast<sk::Byte>(c));
    if (i < 0) continue;
    sk::TskDataPacket& p = packets.Items(i);
    found.push_back({i, p.Tag(), sk::ToText(p.Data())});
    if (resetCompleted) p.Reset();
  }
  return found;
}

inline sk::TskDataPacket& Define(sk::TskDataPackets& packets, const std::string& begin,
                                 const std::string& end, std::int32_t tag = 0,
                                 std::int32_t length = 0) {
  sk::TskDataPacket& p = packets.Add();
  p.SetPacketBegin(sk::ToBytes(begin));
  p.SetPacketEnd(sk::ToBytes(end));
  p.SetTag(tag);
  p.SetPacketLength(length);
  return p;
}

}  // namespace dataproc_test
