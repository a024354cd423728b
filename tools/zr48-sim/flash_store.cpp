#include "flash_store.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace zr48sim {

FlashStore::FlashStore(std::uint32_t Base, std::uint32_t Size) : base_(Base), size_(Size) {}

bool FlashStore::Fits(std::uint32_t Address, std::size_t Count) const {
  if (Address < base_) return false;
  const std::uint64_t offset = Address - base_;
  return offset + Count <= size_;
}

void FlashStore::Write(std::uint32_t Address, std::span<const std::uint8_t> Bytes) {
  const std::size_t offset = Address - base_;
  if (image_.size() < offset + Bytes.size()) image_.resize(offset + Bytes.size(), 0xFF);
  std::copy(Bytes.begin(), Bytes.end(), image_.begin() + static_cast<std::ptrdiff_t>(offset));
  ++blocksWritten_;
}

std::vector<std::uint8_t> FlashStore::Image() const {
  return image_;
}

bool FlashStore::SaveImage(const std::string& Path, std::string& Error) const {
  // Written beside the target and renamed, so a reader never sees half an image.
  const std::string temp = Path + ".part";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (out)
      out.write(reinterpret_cast<const char*>(image_.data()),
                static_cast<std::streamsize>(image_.size()));
    if (!out || !out.flush()) {
      Error = "cannot write " + temp + ": " + std::strerror(errno);
      return false;
    }
  }
  if (std::rename(temp.c_str(), Path.c_str()) != 0) {
    Error = "cannot rename " + temp + " to " + Path + ": " + std::strerror(errno);
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace zr48sim
