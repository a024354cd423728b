// Counts heap allocations, to show that received chunks go through a chain of processors
// without any when no log is attached.

#include "chain_fixtures.h"
#include "loader/boot_protocol.h"
#include "support/counting_new.h"

using testsupport::allocations;

namespace {

using namespace sk;
using namespace chaintest;

TEST(NoAllocation, ChunksThroughAChainOfTwoWithTheirPacketsReportedAllocateNothing) {
  TestDevice device;
  TskDataProcessor first, second;
  for (TskDataProcessor* p : {&first, &second}) {
    for (const auto& a : bootshell::protocol::kAnswers) {
      TskDataPacket& d = p->DataPackets().Add();
      d.SetPacketBegin(ToBytes(a.begin));
      d.SetPacketEnd(ToBytes(a.end));
      d.SetTag(a.tag);
    }
  }
  device.SetDataProcessor(&first);
  first.SetDataProcessor(&second);
  device.Notify(ncPortOpened);
  long tags = 0;
  const auto count =
      TskDataPacketEvent::Bind(&tags, [&](TObject*, TskDataPacket* P) { tags += P->Tag() + 1; });
  first.SetOnDataPacket(count);
  second.SetOnDataPacket(count);

  std::string stream;
  for (const auto& a : bootshell::protocol::kAnswers)
    stream += "noise" + std::string(a.begin) + "Ready to receive" + std::string(a.end);
  const long before = allocations.load();
  for (int i = 0; i < 20; ++i) first.DataReceive(Ptr(stream), Len(stream));
  const long during = allocations.load() - before;
  EXPECT_EQ(during, 0);
  long perStream = 0;
  for (const auto& a : bootshell::protocol::kAnswers) perStream += a.tag + 1;
  EXPECT_EQ(tags, 2 * 20 * perStream);
}

}  // namespace
