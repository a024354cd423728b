#pragma once
// Block decryption sixteen blocks at a time on processors with 256-bit integer vectors.
#include <cstddef>

#include "cipher/rc6_core.h"

namespace bootshell::cipher {

// Decrypts the leading multiple of 16 blocks of the Count at Data and returns how many it
// did: 0 when the processor lacks the vector instructions, the rest is left to the caller.
std::size_t DecryptBlocksWide(const TRoundKeys& S, sk::Byte* Data, std::size_t Count);

}  // namespace bootshell::cipher
