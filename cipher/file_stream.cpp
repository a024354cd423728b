#include "cipher/file_stream.h"

#include <cerrno>
#include <system_error>

#include "cipher/memory_stream.h"

namespace bootshell::cipher {

namespace {

std::ios_base::openmode OpenModeOf(FileMode Mode) {
  using std::ios_base;
  switch (Mode) {
    case FileMode::fmOpenRead:
      return ios_base::in | ios_base::binary;
    case FileMode::fmOpenReadWrite:
      return ios_base::in | ios_base::out | ios_base::binary;
    case FileMode::fmCreate:
      break;
  }
  return ios_base::in | ios_base::out | ios_base::trunc | ios_base::binary;
}

std::string ErrorText(int Error) {
  return Error != 0 ? std::generic_category().message(Error) : "unknown error";
}

}  // namespace

FileStream::FileStream(const std::filesystem::path& FileName, FileMode Mode) : fileName_(FileName) {
  std::error_code ec;
  // Opening a directory for reading succeeds on some systems; it is never a file to work on.
  if (std::filesystem::is_directory(FileName, ec)) Fail("Cannot open", EISDIR);
  file_.pubsetbuf(nullptr, 0);
  errno = 0;
  if (!file_.open(FileName, OpenModeOf(Mode))) Fail("Cannot open", errno);
}

FileStream::~FileStream() {
  if (file_.is_open()) file_.close();
}

void FileStream::Fail(const std::string& What, int Error) const {
  std::string reason = ErrorText(Error);
  throw StreamError(What + " \"" + fileName_.string() + "\": " + reason, reason);
}

void FileStream::SwitchTo(LastOp Op) {
  // Reading after writing (and the reverse) needs a seek in between.
  if (last_ != Op && last_ != LastOp::none) {
    errno = 0;
    if (file_.pubseekpos(position_) == std::streampos(-1)) Fail("Cannot seek in", errno);
  }
  last_ = Op;
}

std::size_t FileStream::Read(std::span<sk::Byte> Buffer) {
  if (!file_.is_open()) Fail("Cannot read closed", EBADF);
  SwitchTo(LastOp::read);
  std::streamsize got = 0;
  try {
    errno = 0;
    got = file_.sgetn(reinterpret_cast<char*>(Buffer.data()),
                      static_cast<std::streamsize>(Buffer.size()));
  } catch (const std::ios_base::failure& e) {
    Fail("Cannot read", e.code().value() != 0 ? e.code().value() : errno);
  }
  if (got < 0) Fail("Cannot read", errno);
  position_ += got;
  return static_cast<std::size_t>(got);
}

void FileStream::Write(std::span<const sk::Byte> Data) {
  if (!file_.is_open()) Fail("Cannot write closed", EBADF);
  SwitchTo(LastOp::write);
  errno = 0;
  std::streamsize put = file_.sputn(reinterpret_cast<const char*>(Data.data()),
                                    static_cast<std::streamsize>(Data.size()));
  if (put > 0) position_ += put;
  if (put != static_cast<std::streamsize>(Data.size())) Fail("Cannot write", errno);
}

std::int64_t FileStream::Seek(std::int64_t Offset, SeekOrigin Origin) {
  if (!file_.is_open()) Fail("Cannot seek in closed", EBADF);
  std::int64_t base = position_;
  if (Origin == SeekOrigin::soBeginning) base = 0;
  if (Origin == SeekOrigin::soEnd) base = Size();
  if (base + Offset < 0) Fail("Cannot seek before the start of", EINVAL);
  errno = 0;
  if (file_.pubseekpos(base + Offset) == std::streampos(-1)) Fail("Cannot seek in", errno);
  position_ = base + Offset;
  last_ = LastOp::none;
  return position_;
}

std::int64_t FileStream::Size() {
  if (!file_.is_open()) Fail("Cannot measure closed", EBADF);
  errno = 0;
  std::streampos end = file_.pubseekoff(0, std::ios_base::end);
  if (end == std::streampos(-1)) Fail("Cannot measure", errno);
  if (file_.pubseekpos(position_) == std::streampos(-1)) Fail("Cannot seek in", errno);
  last_ = LastOp::none;
  return static_cast<std::int64_t>(end);
}

void FileStream::Close() {
  if (!file_.is_open()) return;
  errno = 0;
  if (file_.close() == nullptr) Fail("Cannot close", errno);
}

sk::ByteString ReadWholeFile(const std::filesystem::path& FileName) {
  FileStream file(FileName, FileMode::fmOpenRead);
  MemoryStream memory;
  memory.LoadFromStream(file);
  return memory.TakeData();
}

}  // namespace bootshell::cipher
