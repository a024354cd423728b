#pragma once
// A small seekable byte-stream interface: what the image cipher works on in place.
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

#include "serialkit/core/bytes.h"

namespace bootshell::cipher {

// Any failure to read, write or seek a stream. Reason is the bare cause ("No such file or
// directory"), for messages that name the file their own way.
class StreamError : public std::runtime_error {
 public:
  explicit StreamError(const std::string& What, std::string Reason = {})
      : std::runtime_error(What), reason_(Reason.empty() ? What : std::move(Reason)) {}
  const std::string& Reason() const { return reason_; }

 private:
  std::string reason_;
};

enum class SeekOrigin { soBeginning, soCurrent, soEnd };

class ByteStream {
 public:
  virtual ~ByteStream() = default;

  // Reads up to Buffer.size() bytes from the position and advances past them; fewer only at
  // the end of the stream. Throws StreamError when the stream cannot be read.
  virtual std::size_t Read(std::span<sk::Byte> Buffer) = 0;
  // Writes all of Data at the position and advances past it, or throws StreamError.
  virtual void Write(std::span<const sk::Byte> Data) = 0;
  // Moves the position and returns the new one. A position before the start is an error.
  virtual std::int64_t Seek(std::int64_t Offset, SeekOrigin Origin) = 0;
  virtual std::int64_t Size() = 0;

  // The bytes from the position to the end when they lie in one piece of memory that may be
  // changed in place; empty for streams without such memory. Lets block operations skip the
  // read/seek/write round trip without changing their outcome.
  virtual std::span<sk::Byte> DirectBytes() { return {}; }

  std::int64_t Position() { return Seek(0, SeekOrigin::soCurrent); }
  // Reads exactly Buffer.size() bytes or throws StreamError (the position then stands after
  // what could be read).
  void ReadBuffer(std::span<sk::Byte> Buffer);
  void WriteBuffer(std::span<const sk::Byte> Data) { Write(Data); }
};

}  // namespace bootshell::cipher
