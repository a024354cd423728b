#include "cipher/memory_stream.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace bootshell::cipher {

std::size_t MemoryStream::Read(std::span<sk::Byte> Buffer) {
  if (position_ >= Size()) return 0;
  std::size_t start = static_cast<std::size_t>(position_);
  std::size_t n = std::min(Buffer.size(), data_.size() - start);
  if (n > 0) std::memcpy(Buffer.data(), data_.data() + start, n);
  position_ += static_cast<std::int64_t>(n);
  return n;
}

void MemoryStream::Write(std::span<const sk::Byte> Data) {
  if (Data.empty()) return;
  std::size_t start = static_cast<std::size_t>(position_);
  if (Data.size() > data_.max_size() - start) throw StreamError("Memory stream too large");
  std::size_t end = start + Data.size();
  if (end > data_.size()) {
    try {
      data_.resize(end);
    } catch (const std::bad_alloc&) {
      throw StreamError("Out of memory writing a memory stream");
    }
  }
  std::memcpy(data_.data() + start, Data.data(), Data.size());
  position_ = static_cast<std::int64_t>(end);
}

std::int64_t MemoryStream::Seek(std::int64_t Offset, SeekOrigin Origin) {
  std::int64_t base = Origin == SeekOrigin::soBeginning ? 0
                      : Origin == SeekOrigin::soCurrent ? position_
                                                        : Size();
  if ((Offset > 0 && base > std::numeric_limits<std::int64_t>::max() - Offset) || base + Offset < 0)
    throw StreamError("Seek outside the memory stream");
  position_ = base + Offset;
  return position_;
}

std::span<sk::Byte> MemoryStream::DirectBytes() {
  if (position_ >= Size()) return {};
  return std::span<sk::Byte>(data_).subspan(static_cast<std::size_t>(position_));
}

void MemoryStream::LoadFromStream(ByteStream& Source) {
  sk::ByteString loaded;
  try {
    std::int64_t left = Source.Size() - Source.Position();
    if (left > 0) loaded.reserve(static_cast<std::size_t>(left));
  } catch (const StreamError&) {
    // Not seekable (a pipe): the size is only a hint, reading finds the end.
  }
  sk::Byte chunk[64 * 1024];
  while (std::size_t got = Source.Read(chunk)) loaded.insert(loaded.end(), chunk, chunk + got);
  data_ = std::move(loaded);
  position_ = 0;
}

void MemoryStream::Clear() {
  data_.clear();
  data_.shrink_to_fit();
  position_ = 0;
}

sk::ByteString MemoryStream::TakeData() {
  sk::ByteString out = std::move(data_);
  Clear();
  return out;
}

}  // namespace bootshell::cipher
