#pragma once
// Reads a fuzzer's input as a sequence of small decisions; an exhausted input reads as zeros.
#include <cstddef>
#include <cstdint>

namespace packet_fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Empty() const { return pos_ >= size_; }
  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  // A value in [0, n).
  unsigned Below(unsigned n) { return n == 0 ? 0 : Byte() % n; }
  bool Chance(unsigned inEight) { return Below(8) < inEight; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

}  // namespace packet_fuzz
