#pragma once
// The firmware image cipher as one module with module state: the prepared key table
// KeyWords, the RoundKeys scheduled from it and the key string last set. Each operation
// holds the module lock, and the stream operations hold it from the key to the last block, so
// a decryption on one thread and an encryption on another cannot mix their keys.
#include <cstdint>
#include <span>
#include <string_view>

#include "cipher/byte_stream.h"
#include "cipher/rc6_core.h"

namespace bootshell::cipher {

// Clears KeyWords, keeps Key and prepares KeyWords from it.
void RC6SetKey(std::span<const sk::Byte> Key);
// Folds the kept key string into KeyWords.
void RC6PrepareKey();
// Computes RoundKeys from KeyWords.
void RC6KeySchedule();
// Transforms one block in place with RoundKeys.
void RC6DecryptBlock(std::span<sk::Byte, kRC6BlockSize> Block);
void RC6EncryptBlock(std::span<sk::Byte, kRC6BlockSize> Block);

// Decrypts in place the first Count bytes from the stream's position, in 16-byte blocks; a
// remainder below 16 bytes is left as it is, and the position ends 16 * floor(Count / 16)
// bytes further on. An empty key only moves the position forward by Count. False when the
// stream failed; the blocks written before the failure stay decrypted.
bool RC6DecryptStream(ByteStream& Stream, std::span<const sk::Byte> Key, std::int64_t Count);
// The inverse, with the same rules.
bool RC6EncryptStream(ByteStream& Stream, std::span<const sk::Byte> Key, std::int64_t Count);

// Copies of the module state, for inspection.
TKeyWords KeyWords();
TRoundKeys RoundKeys();
sk::ByteString RC6Key();

}  // namespace bootshell::cipher
