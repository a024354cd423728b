#pragma once
// The yardstick for the loader: the same protocol done as plainly as it can be. One thread,
// the pseudo-terminal read with blocking reads, every frame written whole with one write.
#include <string>
#include <vector>

#include "serialkit/core/bytes.h"

namespace bench {

struct MinimalRun {
  double seconds = 0;           // first address frame written to the last block acknowledged
  std::size_t answerBytes = 0;  // answer bytes read meanwhile
  int cycles = 0;
  // Each cycle's length: from one address frame to the next (the last to its acknowledgement).
  std::vector<double> cycleSeconds;
};

// Greets the device on TtyPath, then writes the decrypted Image as the loader does (address
// frame, data frame of the first 1024 bytes of each 2048-byte chunk that is sent, each
// awaited). Throws std::runtime_error when the device fails to answer or the line is lost.
MinimalRun MinimalTransfer(const std::string& TtyPath, const sk::ByteString& Image);

}  // namespace bench
