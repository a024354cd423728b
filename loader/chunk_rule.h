#pragma once
// Which part of a decrypted image goes to the device. The image is taken in 2048-byte chunks;
// of a chunk only its first 1024 bytes are sent, and the last chunk, whole or partial, is not
// sent unless the image is exactly one chunk. Images and devices in the field rely on this.
#include <cstdint>

namespace bootshell::protocol {

inline constexpr std::int64_t kChunkSize = 2048;
inline constexpr std::int64_t kMinimumImageSize = kChunkSize;

// Whether the chunk at Offset (a multiple of kChunkSize) of an image of Size bytes is sent.
constexpr bool ChunkIsSent(std::int64_t Offset, std::int64_t Size) {
  return Offset == 0 || Offset < Size - kChunkSize;
}

// Address/data cycles that an image of Size >= kMinimumImageSize bytes takes.
constexpr std::int64_t CycleCount(std::int64_t Size) {
  std::int64_t chunks = (Size + kChunkSize - 1) / kChunkSize;
  return chunks > 2 ? chunks - 1 : 1;
}

}  // namespace bootshell::protocol
