#include "simulated_boot_loader.h"

#include <algorithm>
#include <cstdio>

#include "loader/boot_protocol.h"

namespace zr48sim {

namespace proto = bootshell::protocol;

namespace {

std::string Hex(std::uint32_t v, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%0*X", digits, v);
  return buf;
}

const proto::AnswerDefinition& Definition(std::int32_t tag) {
  for (const auto& d : proto::kAnswers)
    if (d.tag == tag) return d;
  return proto::kAnswers[proto::tagError];
}

std::string FrameName(std::uint8_t command) {
  switch (command) {
    case proto::cmdHandshake:
      return "handshake";
    case proto::cmdAddress:
      return "address";
    default:
      return "data";
  }
}

std::size_t ExpectedLength(std::uint8_t command) {
  return command == proto::cmdData ? proto::kDataPayloadSize : proto::kAddressPayloadSize;
}

}  // namespace

std::vector<std::uint8_t> Answer::Bytes() const {
  const auto& d = Definition(tag);
  std::vector<std::uint8_t> out(d.begin.begin(), d.begin.end());
  out.insert(out.end(), text.begin(), text.end());
  out.insert(out.end(), d.end.begin(), d.end.end());
  return out;
}

SimulatedBootLoader::SimulatedBootLoader(SimOptions Options, LogLine Log)
    : options_(std::move(Options)),
      log_(std::move(Log)),
      flash_(proto::FlashBaseAddress, options_.flashSize) {}

Answer SimulatedBootLoader::Greeting() {
  Answer a{proto::tagInfo,
           "ZR48 boot loader (simulated), application flash at " + Hex(proto::FlashBaseAddress, 8)};
  log_("tx " + std::to_string(a.tag) + " " + a.text);
  return a;
}

Answer SimulatedBootLoader::Error(const std::string& Text) {
  return Answer{proto::tagError, "Error: " + Text};
}

void SimulatedBootLoader::LogSkipped() {
  if (const std::size_t n = parser_.TakeSkipped())
    log_("rx skipped " + std::to_string(n) + " bytes");
}

std::vector<SimEvent> SimulatedBootLoader::Receive(const std::uint8_t* Data, std::size_t Count) {
  std::vector<SimEvent> events;
  if (hungUp_) return events;
  for (std::size_t i = 0; i < Count; ++i) {
    auto frame = parser_.Push(Data[i]);
    if (!frame) continue;
    LogSkipped();
    ++frames_;
    SimEvent ev;
    ev.afterByte = i;
    if (options_.hangupAfterFrames != 0 && frames_ >= options_.hangupAfterFrames) {
      // The cable is pulled while this frame is on its way: it gets no answer.
      log_("rx " + FrameName(frame->command) + " lost: hangup after " + std::to_string(frames_) +
           " frames");
      ev.hangup = true;
      hungUp_ = true;
      events.push_back(std::move(ev));
      return events;
    }
    auto answer = Handle(*frame);
    if (!answer) continue;
    ++answers_;
    if (answer->tag == proto::tagDataWritten) ev.delayMs = options_.flashDelayMs;
    if (options_.mute || options_.dropAnswers.count(answers_) != 0) {
      log_("tx " + std::to_string(answer->tag) + " dropped");
    } else {
      log_("tx " + std::to_string(answer->tag) + " " + answer->text);
      ev.answer = std::move(answer);
    }
    events.push_back(std::move(ev));
  }
  return events;
}

std::optional<Answer> SimulatedBootLoader::Handle(const Frame& F) {
  const std::string name = FrameName(F.command);
  if (F.length != ExpectedLength(F.command)) {
    log_("rx " + name + " bad-length " + std::to_string(F.length));
    return Error("bad length " + std::to_string(F.length) + " in frame " + Hex(F.command, 2) +
                 ", expected " + std::to_string(ExpectedLength(F.command)));
  }
  if (!F.SumOk()) {
    log_("rx " + name + " bad-sum " + Hex(F.sum, 2) + " expected " + Hex(F.PayloadSum(), 2));
    return Error("bad sum " + Hex(F.sum, 2) + " in frame " + Hex(F.command, 2) + ", expected " +
                 Hex(F.PayloadSum(), 2));
  }
  switch (F.command) {
    case proto::cmdHandshake:
      if (!std::equal(F.payload.begin(), F.payload.end(), proto::kHandshakePayload.begin())) {
        log_("rx handshake bad-payload");
        return Error("unknown handshake");
      }
      log_("rx handshake ok");
      return Answer{proto::tagHandshake, "ZR48 in boot mode, ready"};
    case proto::cmdAddress: {
      const std::uint32_t address = static_cast<std::uint32_t>(F.payload[0]) |
                                    static_cast<std::uint32_t>(F.payload[1]) << 8 |
                                    static_cast<std::uint32_t>(F.payload[2]) << 16 |
                                    static_cast<std::uint32_t>(F.payload[3]) << 24;
      if (!flash_.Fits(address, proto::kDataPayloadSize)) {
        log_("rx address " + Hex(address, 8) + " outside-flash");
        address_.reset();
        return Error("address " + Hex(address, 8) + " outside the application flash");
      }
      log_("rx address " + Hex(address, 8) + " ok");
      address_ = address;
      return Answer{proto::tagAddressAccepted, "Address " + Hex(address, 8) + " accepted"};
    }
    default: {
      if (!address_) {
        log_("rx data no-address");
        return Error("data block without an address");
      }
      const std::uint32_t address = *address_;
      address_.reset();  // every block needs its own address frame
      flash_.Write(address, F.payload);
      log_("rx data " + Hex(address, 8) + " sum " + Hex(F.sum, 2) + " ok");
      return Answer{proto::tagDataWritten,
                    "Written " + std::to_string(F.payload.size()) + " bytes at " + Hex(address, 8)};
    }
  }
}

void SimulatedBootLoader::FrameTimedOut() {
  if (!HasPartialFrame()) return;
  log_("rx incomplete frame dropped after " + std::to_string(parser_.Pending()) + " bytes");
  parser_.Reset();
  parser_.TakeSkipped();
}

void SimulatedBootLoader::Disconnected() {
  FrameTimedOut();
  LogSkipped();
  address_.reset();
}

}  // namespace zr48sim
