#pragma once
// The independent RC6 the cipher is checked against: Crypto++'s, under the 64-byte key made of
// the module's KeyWords. Debian has Crypto++ for the build machine only, so the Windows build
// replays the answers that a run on the build machine recorded (SK_ORACLE_RECORD names the file
// there, SK_ORACLE_REPLAY here); an input that was never recorded fails the test that asks.
#ifndef SK_ORACLE_REPLAYS
#include <cryptopp/cryptlib.h>
#include <cryptopp/rc6.h>
#endif

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <string>

#include "cipher/rc6.h"

namespace oracle {

inline sk::ByteString KeyBytes(const bootshell::cipher::TKeyWords& words) {
  sk::ByteString key;
  for (std::uint32_t w : words)
    for (int b = 0; b < 4; ++b) key.push_back(sk::Byte(w >> (8 * b)));
  return key;
}

namespace detail {

inline std::string Hex(const sk::ByteString& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (sk::Byte b : bytes) {
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 15]);
  }
  return out;
}

inline sk::ByteString FromHex(const std::string& text) {
  sk::ByteString out;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2)
    out.push_back(sk::Byte(std::stoi(text.substr(i, 2), nullptr, 16)));
  return out;
}

// One line per block operation asked: direction, key, input and output in hex.
inline std::string Question(char direction, const sk::ByteString& key, const sk::ByteString& data) {
  return std::string(1, direction) + " " + Hex(key) + " " + Hex(data);
}

#ifdef SK_ORACLE_REPLAYS
inline sk::ByteString Answer(char direction, const sk::ByteString& key,
                             const sk::ByteString& data) {
  static std::map<std::string, std::string> answers = [] {
    std::map<std::string, std::string> loaded;
    const char* path = std::getenv("SK_ORACLE_REPLAY");
    std::ifstream in(path ? path : "");
    std::string dir, k, input, output;
    while (in >> dir >> k >> input >> output) loaded[dir + " " + k + " " + input] = output;
    return loaded;
  }();
  auto it = answers.find(Question(direction, key, data));
  if (it == answers.end()) {
    ADD_FAILURE() << "no recorded answer of the reference cipher for this input (SK_ORACLE_REPLAY="
                  << (std::getenv("SK_ORACLE_REPLAY") ? std::getenv("SK_ORACLE_REPLAY") : "")
                  << "); record one with the build machine's test_cipher";
    return {};
  }
  return FromHex(it->second);
}
#else
inline sk::ByteString Answer(char direction, const sk::ByteString& key, sk::ByteString data) {
  const sk::ByteString input = data;
  auto run = [&](auto& cipher) {
    cipher.UncheckedSetKey(key.data(), static_cast<unsigned>(key.size()),
                           CryptoPP::g_nullNameValuePairs);
    for (std::size_t p = 0; p + 16 <= data.size(); p += 16) cipher.ProcessBlock(&data[p]);
  };
  if (direction == 'D') {
    CryptoPP::RC6::Decryption dec;
    run(dec);
  } else {
    CryptoPP::RC6::Encryption enc;
    run(enc);
  }
  if (const char* path = std::getenv("SK_ORACLE_RECORD")) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::ofstream(path, std::ios::app)
        << Question(direction, key, input) << " " << Hex(data) << "\n";
  }
  return data;
}
#endif

}  // namespace detail

inline sk::ByteString Decrypt(const bootshell::cipher::TKeyWords& words, sk::ByteString data) {
  return detail::Answer('D', KeyBytes(words), data);
}

inline sk::ByteString Encrypt(const bootshell::cipher::TKeyWords& words, sk::ByteString data) {
  return detail::Answer('E', KeyBytes(words), data);
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
