#include "loader/frames.h"

#include <algorithm>

namespace bootshell::protocol {

namespace {

FrameHeader Header(std::uint8_t Command, std::uint16_t Length, std::uint8_t Sum) {
  return {Command, sk::Byte(Length & 0xFF), sk::Byte(Length >> 8), Sum};
}

}  // namespace

std::uint8_t Sum8(std::span<const sk::Byte> Payload) {
  std::uint8_t sum = 0;
  for (sk::Byte b : Payload) sum = std::uint8_t(sum + b);
  return sum;
}

ShortFrame HandshakeFrame() {
  FrameHeader h = Header(cmdHandshake, kHandshakePayload.size(), Sum8(kHandshakePayload));
  return {h[0],
          h[1],
          h[2],
          h[3],
          kHandshakePayload[0],
          kHandshakePayload[1],
          kHandshakePayload[2],
          kHandshakePayload[3]};
}

ShortFrame AddressFrame(std::uint32_t Address) {
  const std::array<sk::Byte, kAddressPayloadSize> a{
      sk::Byte(Address), sk::Byte(Address >> 8), sk::Byte(Address >> 16), sk::Byte(Address >> 24)};
  FrameHeader h = Header(cmdAddress, kAddressPayloadSize, Sum8(a));
  return {h[0], h[1], h[2], h[3], a[0], a[1], a[2], a[3]};
}

FrameHeader DataFrameHeader(std::uint8_t Sum) {
  return Header(cmdData, kDataPayloadSize, Sum);
}

sk::ByteString DataFrame(std::span<const sk::Byte, kDataPayloadSize> Block) {
  FrameHeader h = DataFrameHeader(Sum8(Block));
  sk::ByteString frame(h.size() + Block.size());
  std::copy(h.begin(), h.end(), frame.begin());
  std::copy(Block.begin(), Block.end(), frame.begin() + std::ptrdiff_t(h.size()));
  return frame;
}

}  // namespace bootshell::protocol
