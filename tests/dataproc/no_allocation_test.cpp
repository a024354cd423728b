// Counts heap allocations, to show that the per-byte path allocates nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "dataproc/data_packet.h"
#include "loader/boot_protocol.h"
#include "packet_feed.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

#if defined(__GNUC__) && !defined(__clang__)
// The replacements below are a matched pair; GCC takes the new one for the built-in.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  ::operator delete(p);
}

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
