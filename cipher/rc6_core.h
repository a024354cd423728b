#pragma once
// RC6-32/20 with a 16-word key table: the key preparation of the firmware images, the
// standard key schedule and the block transforms, as plain functions over explicit state.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "serialkit/core/bytes.h"

namespace bootshell::cipher {

inline constexpr std::size_t kRC6BlockSize = 16;
inline constexpr int kRC6Rounds = 20;

using TKeyWords = std::array<std::uint32_t, 16>;
using TRoundKeys = std::array<std::uint32_t, 2 * kRC6Rounds + 4>;

// Folds Key, repeated cyclically up to the next multiple of 64 bytes, into the even words of
// KeyWords (which the caller has cleared).
void PrepareKeyWords(std::span<const sk::Byte> Key, TKeyWords& KeyWords);

// The standard RC6 schedule for the 64-byte key made of KeyWords in little-endian order.
TRoundKeys ScheduleRoundKeys(const TKeyWords& KeyWords);

// Transforms Count consecutive 16-byte blocks in place.
void DecryptBlocks(const TRoundKeys& S, sk::Byte* Data, std::size_t Count);
void EncryptBlocks(const TRoundKeys& S, sk::Byte* Data, std::size_t Count);

}  // namespace bootshell::cipher
