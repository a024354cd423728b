// Counts heap allocations, to show that the per-byte path allocates nothing.
#include <gtest/gtest.h>

#include <string>

#include "serialkit/dataproc/data_packet.h"
#include "loader/boot_protocol.h"
#include "packet_feed.h"
#include "support/counting_new.h"

using testsupport::allocations;

namespace {

using sk::TskDataPacket;
using sk::TskDataPackets;

TEST(NoAllocation, FeedingBytesAndResettingCompletedDefinitionsAllocatesNothing) {
  TskDataPackets packets;
  for (const auto& a : bootshell::protocol::kAnswers)
    dataproc_test::Define(packets, std::string(a.begin), std::string(a.end), a.tag);
  dataproc_test::Define(packets, "", "\r\n", 10, 16);
  dataproc_test::Define(packets, "", "", 11, 5);
  TskDataPacket& framed = dataproc_test::Define(packets, "S", "", 12);
  framed.SetOnPacketLength(sk::TskDataPacketLengthEvent::Bind(
      &framed, [](TskDataPacket* p, sk::Byte ch, bool& IsHandled) {
        p->SetPacketLength(2 + ch % 8);
        IsHandled = true;
      }));
  TskDataPacket& silence = dataproc_test::Define(packets, "", "", 13);
  silence.SetPacketEndByTimeout(true);
  packets.Reset();

  std::string stream;
  for (int i = 0; i < 50; ++i)
    for (const auto& a : bootshell::protocol::kAnswers)
      stream += "noise S3abc\r\n" + std::string(a.begin) + "<payload>" + std::string(a.end);
  std::string::size_type packetsSeen = 0;
  auto feed = [&] {
    for (char c : stream) {
      const std::int32_t i = packets.IsPacket(static_cast<sk::Byte>(c));
      if (i < 0) continue;
      ++packetsSeen;
      packets.Items(i).Reset();
    }
    if (packets.TimeoutPacketIndex() >= 0) silence.Reset();
  };
  feed();  // a matcher's pattern storage grows once to its longer marker
  const long before = allocations.load();
  feed();
  EXPECT_EQ(allocations.load() - before, 0);
  EXPECT_GT(packetsSeen, 2u * 400u);
}

}  // namespace
