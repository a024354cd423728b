#pragma once
// The device's application flash as written by data frames: blocks at addresses from the
// application base; what was never written reads 0xFF, as erased flash does.
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace zr48sim {

class FlashStore {
 public:
  // Base: lowest writable address; Size: bytes writable from there.
  FlashStore(std::uint32_t Base, std::uint32_t Size);

  std::uint32_t Base() const { return base_; }
  std::uint32_t Size() const { return size_; }
  // True when Count bytes fit at Address.
  bool Fits(std::uint32_t Address, std::size_t Count) const;
  // Stores Bytes at Address (which must fit); a later write to the same bytes wins.
  void Write(std::uint32_t Address, std::span<const std::uint8_t> Bytes);
  // The image from Base up to the highest byte written; unwritten bytes 0xFF.
  std::vector<std::uint8_t> Image() const;
  std::size_t BlocksWritten() const { return blocksWritten_; }
  // Writes Image() to Path; false with Error set on failure.
  bool SaveImage(const std::string& Path, std::string& Error) const;

 private:
  std::uint32_t base_;
  std::uint32_t size_;
  std::size_t blocksWritten_ = 0;
  std::vector<std::uint8_t> image_;  // grows to the highest byte written
};

}  // namespace zr48sim
