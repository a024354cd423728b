// Packet framing against the plain model: any difference aborts with a description.
#include <cstdio>
#include <cstdlib>

#include "fuzz/packet_differential.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto result = packet_fuzz::RunDifferential(data, size);
  if (!result.problem.empty()) {
    std::fprintf(stderr, "packet framing differs from the model %s\n", result.problem.c_str());
    std::abort();
  }
  return 0;
}
