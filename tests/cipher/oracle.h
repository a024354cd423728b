#pragma once
// Crypto++'s RC6 under the 64-byte key made of the module's KeyWords: the independent
// implementation the cipher is checked against.
#include <cryptopp/cryptlib.h>
#include <cryptopp/rc6.h>

#include <random>

#include "cipher/rc6.h"

namespace oracle {

inline sk::ByteString KeyBytes(const bootshell::cipher::TKeyWords& words) {
  sk::ByteString key;
  for (std::uint32_t w : words)
    for (int b = 0; b < 4; ++b) key.push_back(sk::Byte(w >> (8 * b)));
  return key;
}

inline sk::ByteString Decrypt(const bootshell::cipher::TKeyWords& words, sk::ByteString data) {
  CryptoPP::RC6::Decryption dec;
  sk::ByteString key = KeyBytes(words);
  dec.UncheckedSetKey(key.data(), static_cast<unsigned>(key.size()),
                      CryptoPP::g_nullNameValuePairs);
  for (std::size_t p = 0; p + 16 <= data.size(); p += 16) dec.ProcessBlock(&data[p]);
  return data;
}

inline sk::ByteString Encrypt(const bootshell::cipher::TKeyWords& words, sk::ByteString data) {
  CryptoPP::RC6::Encryption enc;
  sk::ByteString key = KeyBytes(words);
  enc.UncheckedSetKey(key.data(), static_cast<unsigned>(key.size()),
                      CryptoPP::g_nullNameValuePairs);
  for (std::size_t p = 0; p + 16 <= data.size(); p += 16) enc.ProcessBlock(&data[p]);
  return data;
}

inline sk::ByteString RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  sk::ByteString out(n);
  for (auto& b : out) b = sk::Byte(gen());
  return out;
}

// KeyWords as the module prepares them for Key (the module keeps them after the call).
inline bootshell::cipher::TKeyWords PreparedFor(const sk::ByteString& key) {
  bootshell::cipher::RC6SetKey(key);
  return bootshell::cipher::KeyWords();
}

}  // namespace oracle
