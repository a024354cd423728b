// The simulator's frame parser under any byte stream: every byte pushed is accounted for as
// part of a frame, skipped or pending; every frame has a known command and the payload its
// length field says; a reset drops exactly what was pending.
#include <cstdio>
#include <cstdlib>

#include "frame_parser.h"

namespace {

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "frame parser broke an invariant: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zr48sim::FrameParser parser;
  std::size_t framed = 0, skipped = 0;
  for (std::size_t i = 0; i < size; ++i) {
    // A byte 0xFF after 0xFF 0xFF resets the parser, as a host going away does.
    if (i >= 2 && data[i] == 0xFF && data[i - 1] == 0xFF && data[i - 2] == 0xFF) {
      const std::size_t pending = parser.Pending();
      parser.Reset();
      Check(parser.Pending() == 0, "nothing pending after a reset");
      const std::size_t s = parser.TakeSkipped();
      Check(s >= pending, "a reset counts the pending bytes as skipped");
      skipped += s;
    }
    if (auto f = parser.Push(data[i])) {
      Check(zr48sim::IsKnownCommand(f->command), "a frame has a known command");
      Check(f->payload.size() == f->length, "payload as long as the length field says");
      framed += 4 + f->payload.size();
    }
    Check(parser.Pending() <= 4 + 0xFFFF, "pending bounded by the largest frame");
  }
  skipped += parser.TakeSkipped();
  Check(parser.TakeSkipped() == 0, "skipped bytes are taken once");
  Check(framed + skipped + parser.Pending() == size, "every byte accounted for");
  return 0;
}
