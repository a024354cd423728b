#pragma once
// Cuts host frames (Command, Length u16 LE, Sum, Payload) out of the byte stream as a device
// receives it. Bytes outside a frame that are no known command are skipped, which is how a
// device finds its way back after line noise.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace zr48sim {

struct Frame {
  std::uint8_t command = 0;
  std::uint16_t length = 0;
  std::uint8_t sum = 0;  // as sent
  std::vector<std::uint8_t> payload;

  std::uint8_t PayloadSum() const;
  bool SumOk() const { return PayloadSum() == sum; }
};

bool IsKnownCommand(std::uint8_t Byte);

class FrameParser {
 public:
  // Takes the next byte; returns the frame it completes, if any. The length field is trusted:
  // a frame is 4 + Length bytes whatever its command expects.
  std::optional<Frame> Push(std::uint8_t Byte);
  // Bytes of an unfinished frame held now.
  std::size_t Pending() const { return pending_; }
  // Drops an unfinished frame; its bytes count as skipped.
  void Reset();
  // Bytes skipped since the last call.
  std::size_t TakeSkipped();

 private:
  Frame frame_;
  std::size_t pending_ = 0;
  std::size_t skipped_ = 0;
};

}  // namespace zr48sim
