#pragma once
// Host frames built by hand, so that the simulator's tests depend on no loader code.
#include <cstdint>
#include <numeric>
#include <vector>

namespace sk::test {

inline std::vector<std::uint8_t> HostFrame(std::uint8_t Command,
                                           const std::vector<std::uint8_t>& Payload) {
  const auto n = Payload.size();
  const auto sum = std::accumulate(Payload.begin(), Payload.end(), 0u);
  std::vector<std::uint8_t> f;
  f.reserve(4 + n);
  f.push_back(Command);
  f.push_back(static_cast<std::uint8_t>(n & 0xFF));
  f.push_back(static_cast<std::uint8_t>(n >> 8));
  f.push_back(static_cast<std::uint8_t>(sum));
  f.insert(f.end(), Payload.begin(), Payload.end());
  return f;
}

inline std::vector<std::uint8_t> HandshakeFrame() {
  return HostFrame(0xA1, {0x55, 0x44, 0x22, 0x33});
}

inline std::vector<std::uint8_t> AddressFrame(std::uint32_t Address) {
  return HostFrame(
      0xA7, {static_cast<std::uint8_t>(Address), static_cast<std::uint8_t>(Address >> 8),
             static_cast<std::uint8_t>(Address >> 16), static_cast<std::uint8_t>(Address >> 24)});
}

// A block whose bytes count up from First.
inline std::vector<std::uint8_t> Block(std::uint8_t First) {
  std::vector<std::uint8_t> b(1024);
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(First + i);
  return b;
}

inline std::vector<std::uint8_t> DataFrame(const std::vector<std::uint8_t>& Block) {
  return HostFrame(0xA8, Block);
}

}  // namespace sk::test
