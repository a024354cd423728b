#include "cipher/byte_stream.h"

#include <string>

namespace bootshell::cipher {

void ByteStream::ReadBuffer(std::span<sk::Byte> Buffer) {
  std::size_t got = Read(Buffer);
  if (got != Buffer.size())
    throw StreamError("Stream read error: " + std::to_string(got) + " of " +
                      std::to_string(Buffer.size()) + " bytes available");
}

}  // namespace bootshell::cipher
