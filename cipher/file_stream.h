#pragma once
// A byte stream over a file, unbuffered so that every failure shows at the call that met it.
#include <filesystem>
#include <fstream>
#include <string>

#include "cipher/byte_stream.h"

namespace bootshell::cipher {

enum class FileMode {
  fmOpenRead,       // existing file, reading only
  fmOpenReadWrite,  // existing file, reading and writing
  fmCreate,         // new or emptied file, reading and writing
};

class FileStream : public ByteStream {
 public:
  // Throws StreamError naming the file and the reason when it cannot be opened.
  FileStream(const std::filesystem::path& FileName, FileMode Mode);
  ~FileStream() override;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  std::size_t Read(std::span<sk::Byte> Buffer) override;
  void Write(std::span<const sk::Byte> Data) override;
  std::int64_t Seek(std::int64_t Offset, SeekOrigin Origin) override;
  std::int64_t Size() override;

  // Closes the file, reporting a failure to write what was still pending.
  void Close();
  const std::filesystem::path& FileName() const { return fileName_; }

 private:
  enum class LastOp { none, read, write };
  [[noreturn]] void Fail(const std::string& What, int Error) const;
  void SwitchTo(LastOp Op);

  std::filesystem::path fileName_;
  std::filebuf file_;
  std::int64_t position_ = 0;
  LastOp last_ = LastOp::none;
};

// Reads a whole file; throws StreamError naming the file and the reason.
sk::ByteString ReadWholeFile(const std::filesystem::path& FileName);

}  // namespace bootshell::cipher
