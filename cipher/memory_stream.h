#pragma once
// A byte stream held whole in memory; the position may stand past the end, and writing
// there fills the gap with zeros.
#include "cipher/byte_stream.h"

namespace bootshell::cipher {

class MemoryStream : public ByteStream {
 public:
  MemoryStream() = default;
  explicit MemoryStream(sk::ByteString Data) : data_(std::move(Data)) {}

  std::size_t Read(std::span<sk::Byte> Buffer) override;
  void Write(std::span<const sk::Byte> Data) override;
  std::int64_t Seek(std::int64_t Offset, SeekOrigin Origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }
  std::span<sk::Byte> DirectBytes() override;

  // Reads the whole of Source from its position on, replacing the contents; position 0.
  void LoadFromStream(ByteStream& Source);
  void Clear();

  const sk::ByteString& Data() const { return data_; }
  sk::ByteString TakeData();

 private:
  sk::ByteString data_;
  std::int64_t position_ = 0;
};

}  // namespace bootshell::cipher
