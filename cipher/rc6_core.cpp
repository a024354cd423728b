#include "cipher/rc6_core.h"

#include <algorithm>
#include <bit>

#include "cipher/rc6_wide.h"

namespace bootshell::cipher {

namespace {

constexpr std::uint32_t P32 = 0xB7E15163;
constexpr std::uint32_t Q32 = 0x9E3779B9;

inline std::uint32_t Rotl(std::uint32_t x, std::uint32_t n) {
  return std::rotl(x, int(n & 31));
}
inline std::uint32_t Rotr(std::uint32_t x, std::uint32_t n) {
  return std::rotr(x, int(n & 31));
}

inline std::uint32_t LoadLE(const sk::Byte* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}

inline void StoreLE(sk::Byte* p, std::uint32_t v) {
  p[0] = sk::Byte(v);
  p[1] = sk::Byte(v >> 8);
  p[2] = sk::Byte(v >> 16);
  p[3] = sk::Byte(v >> 24);
}

inline std::uint32_t Mix(std::uint32_t x) {
  return Rotl(x * (2 * x + 1), 5);
}

// N blocks side by side: each block's rounds form one long dependency chain, so running
// several at once keeps the multiplier and the rotators busy.
template <std::size_t N>
void DecryptLanes(const TRoundKeys& S, sk::Byte* data) {
  std::uint32_t A[N], B[N], C[N], D[N];
  for (std::size_t k = 0; k < N; ++k) {
    const sk::Byte* p = data + k * kRC6BlockSize;
    A[k] = LoadLE(p) - S[42];
    B[k] = LoadLE(p + 4);
    C[k] = LoadLE(p + 8) - S[43];
    D[k] = LoadLE(p + 12);
  }
  for (int i = kRC6Rounds; i >= 1; --i) {
    for (std::size_t k = 0; k < N; ++k) {
      std::uint32_t a = D[k], b = A[k], c = B[k], d = C[k];
      std::uint32_t u = Mix(d);
      std::uint32_t t = Mix(b);
      C[k] = Rotr(c - S[2 * i + 1], t) ^ u;
      A[k] = Rotr(a - S[2 * i], u) ^ t;
      B[k] = b;
      D[k] = d;
    }
  }
  for (std::size_t k = 0; k < N; ++k) {
    sk::Byte* p = data + k * kRC6BlockSize;
    StoreLE(p, A[k]);
    StoreLE(p + 4, B[k] - S[0]);
    StoreLE(p + 8, C[k]);
    StoreLE(p + 12, D[k] - S[1]);
  }
}

template <std::size_t N>
void EncryptLanes(const TRoundKeys& S, sk::Byte* data) {
  std::uint32_t A[N], B[N], C[N], D[N];
  for (std::size_t k = 0; k < N; ++k) {
    const sk::Byte* p = data + k * kRC6BlockSize;
    A[k] = LoadLE(p);
    B[k] = LoadLE(p + 4) + S[0];
    C[k] = LoadLE(p + 8);
    D[k] = LoadLE(p + 12) + S[1];
  }
  for (int i = 1; i <= kRC6Rounds; ++i) {
    for (std::size_t k = 0; k < N; ++k) {
      std::uint32_t t = Mix(B[k]);
      std::uint32_t u = Mix(D[k]);
      std::uint32_t a = Rotl(A[k] ^ t, u) + S[2 * i];
      std::uint32_t c = Rotl(C[k] ^ u, t) + S[2 * i + 1];
      A[k] = B[k];
      B[k] = c;
      C[k] = D[k];
      D[k] = a;
    }
  }
  for (std::size_t k = 0; k < N; ++k) {
    sk::Byte* p = data + k * kRC6BlockSize;
    StoreLE(p, A[k] + S[42]);
    StoreLE(p + 4, B[k]);
    StoreLE(p + 8, C[k] + S[43]);
    StoreLE(p + 12, D[k]);
  }
}

constexpr std::size_t kLanes = 4;

}  // namespace

void PrepareKeyWords(std::span<const sk::Byte> Key, TKeyWords& KeyWords) {
  if (Key.empty()) return;
  std::size_t length = (Key.size() + 63) / 64 * 64;
  // Byte n of the key repeated cyclically; only groups 0 to 7 of every 64 bytes count.
  for (std::size_t g = 0; g < length / 4; ++g) {
    std::size_t t = 2 * (g % 16);
    if (t > 14) continue;
    std::uint32_t k = 0;
    for (std::size_t b = 0; b < 4; ++b)
      k |= std::uint32_t(Key[(4 * g + b) % Key.size()]) << (8 * b);
    KeyWords[t] = Rotl(KeyWords[t], k) ^ k;
  }
}

TRoundKeys ScheduleRoundKeys(const TKeyWords& KeyWords) {
  TRoundKeys S;
  S[0] = P32;
  for (std::size_t i = 1; i < S.size(); ++i) S[i] = S[i - 1] + Q32;
  TKeyWords L = KeyWords;
  std::uint32_t A = 0, B = 0;
  std::size_t i = 0, j = 0;
  const std::size_t steps = 3 * std::max(L.size(), S.size());
  for (std::size_t s = 0; s < steps; ++s) {
    A = S[i] = Rotl(S[i] + A + B, 3);
    B = L[j] = Rotl(L[j] + A + B, A + B);
    i = (i + 1) % S.size();
    j = (j + 1) % L.size();
  }
  return S;
}

void DecryptBlocks(const TRoundKeys& S, sk::Byte* Data, std::size_t Count) {
  std::size_t k = DecryptBlocksWide(S, Data, Count);
  for (; k + kLanes <= Count; k += kLanes) DecryptLanes<kLanes>(S, Data + k * kRC6BlockSize);
  for (; k < Count; ++k) DecryptLanes<1>(S, Data + k * kRC6BlockSize);
}

void EncryptBlocks(const TRoundKeys& S, sk::Byte* Data, std::size_t Count) {
  std::size_t k = 0;
  for (; k + kLanes <= Count; k += kLanes) EncryptLanes<kLanes>(S, Data + k * kRC6BlockSize);
  for (; k < Count; ++k) EncryptLanes<1>(S, Data + k * kRC6BlockSize);
}

}  // namespace bootshell::cipher
