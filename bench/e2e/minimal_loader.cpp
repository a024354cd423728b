#include "minimal_loader.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <span>
#include <stdexcept>

#include "loader/boot_protocol.h"
#include "loader/chunk_rule.h"
#include "loader/frames.h"

namespace bench {

namespace {

using namespace bootshell::protocol;

class Line {
 public:
  explicit Line(const std::string& Path) : fd_(::open(Path.c_str(), O_RDWR | O_NOCTTY)) {
    if (fd_ < 0) throw std::runtime_error("cannot open " + Path);
    termios t{};
    ::tcgetattr(fd_, &t);
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, B921600);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    ::tcsetattr(fd_, TCSANOW, &t);
  }
  ~Line() { ::close(fd_); }
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;

  void Write(std::span<const sk::Byte> Frame) {
    if (::write(fd_, Frame.data(), Frame.size()) != static_cast<ssize_t>(Frame.size()))
      throw std::runtime_error("write to the device failed");
  }
  // Blocks until Marker has come; what came before it and with it is dropped. Returns the
  // bytes read.
  std::size_t ReadUntil(const std::string& Marker) {
    std::size_t total = 0;
    seen_.clear();
    for (;;) {
      char buf[512];
      const ssize_t n = ::read(fd_, buf, sizeof buf);
      if (n <= 0) throw std::runtime_error("the device's line was lost");
      total += static_cast<std::size_t>(n);
      const std::size_t from = seen_.size() < Marker.size() ? 0 : seen_.size() - Marker.size();
      seen_.append(buf, static_cast<std::size_t>(n));
      if (seen_.find(Marker, from) != std::string::npos) return total;
    }
  }

 private:
  int fd_;
  std::string seen_;
};

}  // namespace

MinimalRun MinimalTransfer(const std::string& TtyPath, const sk::ByteString& Image) {
  Line line(TtyPath);
  line.Write(HandshakeFrame());
  line.ReadUntil("answerE0");
  MinimalRun run;
  run.cycles = static_cast<int>(CycleCount(static_cast<std::int64_t>(Image.size())));
  const auto start = std::chrono::steady_clock::now();
  auto cycleStart = start;
  run.cycleSeconds.reserve(static_cast<std::size_t>(run.cycles));
  for (int c = 0; c < run.cycles; ++c) {
    const auto offset = static_cast<std::size_t>(c) * kChunkSize;
    line.Write(AddressFrame(FlashBaseAddress + static_cast<std::uint32_t>(offset)));
    run.answerBytes += line.ReadUntil("answerE3");
    line.Write(DataFrame(
        std::span<const sk::Byte, kDataPayloadSize>(Image.data() + offset, kDataPayloadSize)));
    run.answerBytes += line.ReadUntil("answerE2");
    const auto now = std::chrono::steady_clock::now();
    run.cycleSeconds.push_back(std::chrono::duration<double>(now - cycleStart).count());
    cycleStart = now;
  }
  run.seconds = std::chrono::duration<double>(cycleStart - start).count();
  return run;
}

}  // namespace bench
