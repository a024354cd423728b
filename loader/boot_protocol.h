#pragma once
// The boot-mode wire protocol spoken with a ZR48 held in boot mode: the frames the host sends
// and the text answers the device returns. Shared by the loader and the device simulator.
#include <array>
#include <cstdint>
#include <string_view>

namespace bootshell::protocol {

// Command bytes: a frame is Command, Length (u16 LE), Sum (8-bit sum of the payload), Payload.
inline constexpr std::uint8_t cmdHandshake = 0xA1;
inline constexpr std::uint8_t cmdAddress = 0xA7;
inline constexpr std::uint8_t cmdData = 0xA8;

inline constexpr std::size_t kFrameHeaderSize = 4;
inline constexpr std::size_t kAddressPayloadSize = 4;
inline constexpr std::size_t kDataPayloadSize = 1024;
inline constexpr std::array<std::uint8_t, 4> kHandshakePayload{0x55, 0x44, 0x22, 0x33};

inline constexpr std::uint32_t FlashBaseAddress = 0x08002000;

// Line settings: 8 data bits, no parity, two stop bits; queues of 8192 bytes.
inline constexpr std::uint32_t kBaudUart = 230400;
inline constexpr std::uint32_t kBaudBluetooth = 921600;
inline constexpr std::uint32_t kBaudWifi = 230400;
inline constexpr std::uint32_t kQueueSize = 8192;

// Answer tags the loader acts on.
inline constexpr std::int32_t tagHandshake = 0;
inline constexpr std::int32_t tagError = 1;
inline constexpr std::int32_t tagDataWritten = 2;
inline constexpr std::int32_t tagAddressAccepted = 3;
inline constexpr std::int32_t tagInfo = 1000;

struct AnswerDefinition {
  std::string_view begin;
  std::string_view end;
  std::int32_t tag;
};

// The eight answer kinds, in the order the data processor holds them.
inline constexpr std::array<AnswerDefinition, 8> kAnswers{{
    {"answerB0", "answerE0", 0},
    {"answerB1", "answerE1", 1},
    {"answerB2", "answerE2", 2},
    {"answerB3", "answerE3", 3},
    {"answerB4", "answerE4", 4},
    {"answerB5", "answerE5", 5},
    {"answerB6", "answerE6", 6},
    {"answerBInfo", "answerEInfo", 1000},
}};

}  // namespace bootshell::protocol
