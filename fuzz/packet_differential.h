#pragma once
// One differential run: definitions and a byte stream decoded from a fuzzer's input, fed to the
// real packet definitions and to the plain model side by side, the way the data processor
// drives them, with handlers that reset and reconfigure definitions in the middle of a byte.
// The result is empty when both agree, else it says where they first differ.
#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "serialkit/dataproc/data_packet.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/packet_model.h"

namespace packet_fuzz {

// What a run found, and how much of the framing it exercised.
struct DiffResult {
  std::string problem;  // empty when the framing and the model agree
  std::size_t packets = 0;
  std::size_t timeoutPackets = 0;
  std::size_t discards = 0;
  std::size_t handlerActions = 0;  // resets and setting changes made from inside handlers
};

namespace detail {

// Few distinct bytes, so that markers occur in the stream and overlap each other.
inline std::uint8_t Letter(FuzzInput& in) {
  static constexpr std::uint8_t kLetters[] = {'a', 'b', 'c', '?', 0, 0xFF};
  return kLetters[in.Below(sizeof kLetters)];
}

inline Bytes Marker(FuzzInput& in) {
  Bytes m(in.Below(5));
  for (auto& b : m) b = Letter(in);
  return m;
}

class Differential {
 public:
  explicit Differential(FuzzInput& in) : in_(in) {}

  DiffResult Run() {
    // At least three: one between two others that step together.
    const unsigned count = 3 + in_.Below(6);
    for (unsigned i = 0; i < count; ++i) AddDefinition(count);
    while (!in_.Empty() && problem_.empty()) Step();
    if (problem_.empty()) CompareAll("end");
    result_.problem = problem_;
    for (const auto& m : model_.items) result_.discards += m.discards;
    result_.handlerActions = model_.actionsRun;
    return result_;
  }

 private:
  // Often one that starts like another definition's begin marker, as the device's answers
  // do: such definitions take their steps together.
  Bytes BeginMarker(std::size_t made) {
    const std::uint8_t pick = in_.Byte();
    if (made == 0 || pick % 8 >= 5) return Marker(in_);
    Bytes m = model_.items[((pick >> 3) & 0x0F) % made].begin;
    if ((pick & 0x80) != 0 && !m.empty()) m.pop_back();
    for (unsigned n = in_.Below(3); n > 0; --n) m.push_back(Letter(in_));
    return m;
  }

  HandlerAction Action(unsigned count) {
    HandlerAction a;
    // Resets most often: a reset in the middle of a byte is where definitions that step
    // together can go wrong.
    static constexpr HandlerAction::Kind kKinds[] = {
        HandlerAction::ResetAll, HandlerAction::ResetAll,  HandlerAction::Reset,
        HandlerAction::Reset,    HandlerAction::Toggle,    HandlerAction::SetBegin,
        HandlerAction::SetEnd,   HandlerAction::SetLength, HandlerAction::SetWild};
    const std::uint8_t what = in_.Byte();
    a.kind = kKinds[what % sizeof kKinds];
    a.always = what / sizeof kKinds % 4 == 0;
    a.trigger = Letter(in_);
    a.target = in_.Below(count);
    if (a.kind == HandlerAction::SetBegin) a.marker = BeginMarker(model_.items.size());
    if (a.kind == HandlerAction::SetEnd) a.marker = Marker(in_);
    if (a.kind == HandlerAction::SetLength) a.length = static_cast<std::int32_t>(in_.Below(12)) - 2;
    if (a.kind == HandlerAction::SetWild) a.wild = in_.Chance(4) ? '?' : 0;
    return a;
  }

  void AddDefinition(unsigned count) {
    const auto index = static_cast<std::size_t>(real_.Count());
    sk::TskDataPacket& real = real_.Add();
    ModelPacket& model = model_.items.emplace_back();
    const std::uint8_t flags = in_.Byte();
    model.active = (flags & 0x07) != 0;
    model.resetOthers = (flags & 0x08) != 0;
    model.byTimeout = (flags & 0x10) != 0;
    model.hasHandler = (flags & 0x20) != 0;
    const std::uint8_t sizes = in_.Byte();
    model.wild = (flags & 0x40) != 0 && sizes % 2 == 0 ? '?' : 0;
    model.SetBegin(BeginMarker(index));
    model.end = Marker(in_);
    model.length = static_cast<std::int32_t>(sizes / 2 % 12) - 2;
    model.SetMax(static_cast<std::int32_t>(sizes / 24 % 4) * 200);  // 512 mostly: full buffers
    if (model.hasHandler)
      for (unsigned n = in_.Below(3); n > 0; --n) model.lengthActions.push_back(Action(count));
    if ((flags & 0x80) != 0) model.packetActions.push_back(Action(count));

    real.SetActive(model.active);
    real.SetResetOthers(model.resetOthers);
    real.SetPacketEndByTimeout(model.byTimeout);
    real.SetWildChar(model.wild);
    real.SetPacketBegin(model.begin);
    real.SetPacketEnd(model.end);
    real.SetPacketLength(model.length);
    real.SetPacketLengthMax(static_cast<std::int32_t>(model.max));
    if (model.hasHandler)
      real.SetOnPacketLength(sk::TskDataPacketLengthEvent::Bind(
          this, [this, index](sk::TskDataPacket* p, sk::Byte ch, bool& handled) {
            std::int32_t length = p->PacketLength();
            LengthRule(ch, length, handled);
            p->SetPacketLength(length);
            if (const int t = ResetBy(ch, index, static_cast<std::size_t>(real_.Count())); t >= 0)
              real_.Items(t).Reset();
            Act(model_.items[index].lengthActions, ch);
          }));
    // Processors reset on opening; now and then a definition is left unreset.
    if (sizes < 224) {
      real.Reset();
      model.Reset();
    }
  }

  void Step() {
    const std::uint8_t op = in_.Byte();
    if (op < 170) return Feed(Letter(in_), op % 2 == 0);
    if (op < 200) {  // a definition's marker, whole or nearly: partial matches from few bytes
      const unsigned k = op - 170u;
      const ModelPacket& m = model_.items[k % model_.items.size()];
      const Bytes marker = k / 8 % 4 != 0 ? m.begin : m.end;
      const std::size_t n = marker.size() - std::min<std::size_t>(marker.size(), k / 16);
      for (std::size_t b = 0; b < n && problem_.empty(); ++b) Feed(marker[b], true);
      return;
    }
    if (op < 215) return Feed(in_.Byte(), true);
    if (op < 225) {  // a long run, to reach full buffers quickly
      const std::uint8_t b = Letter(in_);
      const unsigned n = 64 + in_.Below(8) * 64;
      for (unsigned i = 0; i < n && problem_.empty(); ++i) Feed(b, true);
      return;
    }
    const std::size_t i = in_.Below(static_cast<unsigned>(model_.items.size()));
    sk::TskDataPacket& real = real_.Items(static_cast<std::int32_t>(i));
    ModelPacket& model = model_.items[i];
    switch (op % 8) {
      case 0: {  // silence
        const int r = real_.TimeoutPacketIndex();
        const int m = model_.Timeout();
        if (r != m) return Fail("timeout index", r, m);
        if (r >= 0) {
          ++result_.timeoutPackets;
          CompareData(static_cast<std::size_t>(r), "timeout packet");
          Report(static_cast<std::size_t>(r));
          real_.Items(r).Reset();
          model_.items[static_cast<std::size_t>(r)].Reset();
        }
        return;
      }
      case 1:
        real_.Reset();
        for (auto& m : model_.items) m.Reset();
        return;
      case 2:
        real.Reset();
        return model.Reset();
      case 3: {
        const auto v = static_cast<std::int32_t>(in_.Below(5)) * 200;
        real.SetPacketLengthMax(v);
        return model.SetMax(v);
      }
      case 4:
        model.length = static_cast<std::int32_t>(in_.Below(12)) - 2;
        return real.SetPacketLength(model.length);
      case 5:
        model.active = !model.active;
        return real.SetActive(model.active);
      case 6:
        model.SetBegin(BeginMarker(model_.items.size()));
        return real.SetPacketBegin(model.begin);
      default:
        model.end = Marker(in_);
        return real.SetPacketEnd(model.end);
    }
  }

  void Feed(std::uint8_t ch, bool resetCompleted) {
    ++fed_;
    const int r = real_.IsPacket(ch);
    const int m = model_.Byte(ch);
    if (r != m) return Fail("completed index", r, m);
    if (real_.IsPacketPossible() != model_.possible)
      return Fail("IsPacketPossible", real_.IsPacketPossible(), model_.possible);
    CompareAll("byte");
    if (r >= 0 && problem_.empty()) {
      ++result_.packets;
      CompareData(static_cast<std::size_t>(r), "packet");
      Report(static_cast<std::size_t>(r));
      if (resetCompleted) {
        real_.Items(r).Reset();
        model_.items[static_cast<std::size_t>(r)].Reset();
      }
    }
  }

  // The packet handler's actions, on both sides, before the processor resets the definition.
  void Report(std::size_t i) {
    const Bytes& data = model_.items[i].data;
    const std::uint8_t last = data.empty() ? 0 : data.back();
    Act(model_.items[i].packetActions, last);
    model_.Act(model_.items[i].packetActions, last);
  }

  // The real side of ModelPackets::Apply.
  void Act(const std::vector<HandlerAction>& actions, std::uint8_t trigger) {
    for (const auto& a : actions) {
      if (!a.always && a.trigger != trigger) continue;
      sk::TskDataPacket& t = real_.Items(static_cast<std::int32_t>(a.target));
      switch (a.kind) {
        case HandlerAction::ResetAll:
          real_.Reset();
          break;
        case HandlerAction::Reset:
          t.Reset();
          break;
        case HandlerAction::Toggle:
          t.SetActive(!t.Active());
          break;
        case HandlerAction::SetBegin:
          t.SetPacketBegin(a.marker);
          break;
        case HandlerAction::SetEnd:
          t.SetPacketEnd(a.marker);
          break;
        case HandlerAction::SetLength:
          t.SetPacketLength(a.length);
          break;
        case HandlerAction::SetWild:
          t.SetWildChar(a.wild);
          break;
      }
    }
  }

  void CompareAll(const char* when) {
    for (std::size_t i = 0; i < model_.items.size() && problem_.empty(); ++i) {
      const sk::TskDataPacket& real = real_.Items(static_cast<std::int32_t>(i));
      const ModelPacket& model = model_.items[i];
      if (real.State() != static_cast<sk::TskDataPacketState>(model.state))
        return Fail(when, real.State(), model.state, i, "state");
      if (real.DataLength() != static_cast<std::int32_t>(model.data.size()))
        return Fail(when, real.DataLength(), model.data.size(), i, "DataLength");
      if (real.IsPossible() != model.Possible())
        return Fail(when, real.IsPossible(), model.Possible(), i, "IsPossible");
      if (real.PacketLengthMax() != static_cast<std::int32_t>(model.max))
        return Fail(when, real.PacketLengthMax(), model.max, i, "PacketLengthMax");
    }
    if (std::string(when) == "end")
      for (std::size_t i = 0; i < model_.items.size(); ++i) CompareData(i, "end");
  }

  void CompareData(std::size_t i, const char* what) {
    if (!problem_.empty()) return;
    if (real_.Items(static_cast<std::int32_t>(i)).Data() != model_.items[i].data)
      Fail(what, 0, 0, i, "Data");
  }

  template <class A, class B>
  void Fail(const char* when, A real, B model, std::size_t item = 0, const char* what = "") {
    std::ostringstream s;
    s << "after byte " << fed_ << " (" << when << "), definition " << item << " " << what
      << ": real " << +real << ", model " << +model;
    problem_ = s.str();
  }

  FuzzInput& in_;
  sk::TskDataPackets real_;
  ModelPackets model_;
  std::string problem_;
  std::size_t fed_ = 0;
  DiffResult result_;
};

}  // namespace detail

inline DiffResult RunDifferential(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  return detail::Differential(in).Run();
}

}  // namespace packet_fuzz
