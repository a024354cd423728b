#pragma once
// Builders for the three frames the host sends: Command, Length (u16 LE), Sum, Payload.
#include <array>
#include <cstdint>
#include <span>

#include "serialkit/core/bytes.h"
#include "loader/boot_protocol.h"

namespace bootshell::protocol {

using ShortFrame = std::array<sk::Byte, kFrameHeaderSize + 4>;
using FrameHeader = std::array<sk::Byte, kFrameHeaderSize>;

// The payload bytes added together, carries out of bit 7 dropped.
std::uint8_t Sum8(std::span<const sk::Byte> Payload);

// A1 04 00 EE 55 44 22 33.
ShortFrame HandshakeFrame();
// A7 04 00 S a0 a1 a2 a3: the flash address of the block that follows, little-endian.
ShortFrame AddressFrame(std::uint32_t Address);
// A8 00 04 S: what goes before the 1024 bytes of a block whose sum is Sum.
FrameHeader DataFrameHeader(std::uint8_t Sum);
// The whole data frame of Block.
sk::ByteString DataFrame(std::span<const sk::Byte, kDataPayloadSize> Block);

}  // namespace bootshell::protocol
