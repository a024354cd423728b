#include "frame_parser.h"

#include <numeric>

#include "loader/boot_protocol.h"

namespace zr48sim {

namespace proto = bootshell::protocol;

std::uint8_t Frame::PayloadSum() const {
  return static_cast<std::uint8_t>(std::accumulate(payload.begin(), payload.end(), 0u));
}

bool IsKnownCommand(std::uint8_t Byte) {
  return Byte == proto::cmdHandshake || Byte == proto::cmdAddress || Byte == proto::cmdData;
}

std::optional<Frame> FrameParser::Push(std::uint8_t Byte) {
  switch (pending_) {
    case 0:
      if (!IsKnownCommand(Byte)) {
        ++skipped_;
        return std::nullopt;
      }
      frame_ = Frame{};
      frame_.command = Byte;
      break;
    case 1:
      frame_.length = Byte;
      break;
    case 2:
      frame_.length = static_cast<std::uint16_t>(frame_.length | (Byte << 8));
      frame_.payload.reserve(frame_.length);
      break;
    case 3:
      frame_.sum = Byte;
      break;
    default:
      frame_.payload.push_back(Byte);
      break;
  }
  ++pending_;
  if (pending_ >= proto::kFrameHeaderSize && frame_.payload.size() == frame_.length) {
    pending_ = 0;
    return std::move(frame_);
  }
  return std::nullopt;
}

void FrameParser::Reset() {
  skipped_ += pending_;
  pending_ = 0;
  frame_ = Frame{};
}

std::size_t FrameParser::TakeSkipped() {
  const std::size_t n = skipped_;
  skipped_ = 0;
  return n;
}

}  // namespace zr48sim
