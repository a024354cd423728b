// Counts heap allocations, to show that received chunks go through a chain of processors
// without any when no log is attached.
#include <atomic>
#include <cstdlib>
#include <new>

#include "chain_fixtures.h"
#include "loader/boot_protocol.h"

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
  device.Notify(2);
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
