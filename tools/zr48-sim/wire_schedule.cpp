#include "wire_schedule.h"

#include <algorithm>

namespace zr48sim {

Nanos ByteTime(std::uint32_t Baud) {
  if (Baud == 0) return Nanos{0};
  return Nanos{(std::uint64_t{kBitsPerByte} * 1'000'000'000ull + Baud - 1) / Baud};
}

std::vector<WritePiece> PlanWrite(std::size_t Count, const WritePlan& Plan) {
  std::vector<WritePiece> pieces;
  if (Count == 0) return pieces;
  const Nanos bt = ByteTime(Plan.baud);
  std::size_t size = Count;
  if (bt.count() > 0) {
    const auto perGroup = static_cast<std::size_t>(std::chrono::milliseconds(1) / bt);
    size = std::max<std::size_t>(1, perGroup);
  }
  if (Plan.splitSize != 0) size = std::min(size, Plan.splitSize);
  std::size_t index = 0;
  for (std::size_t offset = 0; offset < Count; offset += size, ++index) {
    const std::size_t length = std::min(size, Count - offset);
    const Nanos lineDone = bt * static_cast<std::int64_t>(offset + length);
    const Nanos gaps =
        Plan.splitSize != 0 ? Plan.splitGap * static_cast<std::int64_t>(index) : Nanos{0};
    pieces.push_back({offset, length, (bt.count() > 0 ? lineDone : Nanos{0}) + gaps});
  }
  return pieces;
}

Nanos LineTime(std::size_t Count, const WritePlan& Plan) {
  const auto pieces = PlanWrite(Count, Plan);
  return pieces.empty() ? Nanos{0} : pieces.back().at;
}

}  // namespace zr48sim
