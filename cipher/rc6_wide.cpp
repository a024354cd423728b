#include "cipher/rc6_wide.h"

#include <cstdint>
#include <cstring>

namespace bootshell::cipher {

#if defined(__GNUC__) && defined(__x86_64__)

namespace {

// Eight 32-bit lanes: word j of eight blocks side by side. AVX2 has per-lane variable shifts,
// which the data-dependent rotations need.
typedef std::uint32_t Lanes __attribute__((vector_size(32)));
constexpr int kLanes = 8;
constexpr int kGroups = 2;  // two vectors in flight hide the multiplier's latency
constexpr std::size_t kBlocksPerStep = kLanes * kGroups;

#define SK_AVX2 __attribute__((target("avx2")))

SK_AVX2 inline Lanes Rotr(Lanes x, Lanes n) {
  n &= 31;
  return (x >> n) | (x << ((32 - n) & 31));
}

SK_AVX2 inline Lanes Mix(Lanes x) {
  Lanes p = x * (x + x + 1);
  return (p << 5) | (p >> 27);
}

// Loads word j of eight consecutive blocks into lane k of W[j] (the host is little-endian).
SK_AVX2 inline void Gather(const sk::Byte* data, Lanes (&W)[4]) {
  std::uint32_t w[4][kLanes];
  for (int k = 0; k < kLanes; ++k)
    for (int j = 0; j < 4; ++j) std::memcpy(&w[j][k], data + 16 * k + 4 * j, 4);
  for (int j = 0; j < 4; ++j) std::memcpy(&W[j], w[j], sizeof(Lanes));
}

SK_AVX2 inline void Scatter(sk::Byte* data, const Lanes (&W)[4]) {
  std::uint32_t w[4][kLanes];
  for (int j = 0; j < 4; ++j) std::memcpy(w[j], &W[j], sizeof(Lanes));
  for (int k = 0; k < kLanes; ++k)
    for (int j = 0; j < 4; ++j) std::memcpy(data + 16 * k + 4 * j, &w[j][k], 4);
}

SK_AVX2 void DecryptStep(const TRoundKeys& S, sk::Byte* data) {
  Lanes A[kGroups], B[kGroups], C[kGroups], D[kGroups];
  for (int g = 0; g < kGroups; ++g) {
    Lanes W[4];
    Gather(data + 16 * kLanes * g, W);
    A[g] = W[0] - S[42];
    B[g] = W[1];
    C[g] = W[2] - S[43];
    D[g] = W[3];
  }
  for (int i = kRC6Rounds; i >= 1; --i) {
    for (int g = 0; g < kGroups; ++g) {
      Lanes a = D[g], b = A[g], c = B[g], d = C[g];
      Lanes u = Mix(d);
      Lanes t = Mix(b);
      C[g] = Rotr(c - S[2 * i + 1], t) ^ u;
      A[g] = Rotr(a - S[2 * i], u) ^ t;
      B[g] = b;
      D[g] = d;
    }
  }
  for (int g = 0; g < kGroups; ++g) {
    Lanes W[4] = {A[g], B[g] - S[0], C[g], D[g] - S[1]};
    Scatter(data + 16 * kLanes * g, W);
  }
}

SK_AVX2 void DecryptSteps(const TRoundKeys& S, sk::Byte* Data, std::size_t Steps) {
  for (std::size_t s = 0; s < Steps; ++s) DecryptStep(S, Data + s * kBlocksPerStep * 16);
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

}  // namespace

std::size_t DecryptBlocksWide(const TRoundKeys& S, sk::Byte* Data, std::size_t Count) {
  if (Count < kBlocksPerStep || !HasAvx2()) return 0;
  std::size_t steps = Count / kBlocksPerStep;
  DecryptSteps(S, Data, steps);
  return steps * kBlocksPerStep;
}

#else

std::size_t DecryptBlocksWide(const TRoundKeys&, sk::Byte*, std::size_t) {
  return 0;
}

#endif

}  // namespace bootshell::cipher
