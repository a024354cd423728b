// Packet framing under anything a caller may do: markers longer than the buffer, buffers
// resized under a packet in progress, length handlers that reset or reshape their own
// definition, definitions inserted, deleted and moved between collections. Built with
// AddressSanitizer, so any access outside a buffer ends the run; broken invariants abort.
#include <cstdio>
#include <cstdlib>

#include "serialkit/dataproc/data_packet.h"
#include "fuzz/fuzz_input.h"

namespace {

using packet_fuzz::FuzzInput;
using sk::Byte;
using sk::ByteString;
using sk::TskDataPacket;
using sk::TskDataPackets;

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "packet framing broke an invariant: %s\n", what);
  std::abort();
}

Byte Letter(FuzzInput& in) {
  return static_cast<Byte>("ab?\0"[in.Below(4)]);
}

// Short markers from few letters, or long runs of one letter that a long run can match.
ByteString Marker(FuzzInput& in) {
  if (in.Chance(1)) return ByteString(300 + in.Below(64) * 20, Letter(in));
  ByteString m(in.Below(5));
  for (auto& b : m) b = Letter(in);
  return m;
}

// Reads every collected byte, so that a length beyond the buffer shows up.
unsigned Inspect(const TskDataPacket& p) {
  Check(p.DataLength() >= 0 && p.DataLength() <= p.PacketLengthMax(), "DataLength in buffer");
  Check(p.PacketLengthMax() >= 512 && p.PacketLengthMax() >= p.PacketBeginLength(),
        "PacketLengthMax floor");
  unsigned sum = 0;
  for (std::int32_t i = 0; i < p.DataLength(); ++i) sum += p.DataPtr()[i];
  const ByteString data = p.Data();
  Check(data.size() == static_cast<std::size_t>(p.DataLength()), "Data size");
  return sum;
}

class Session {
 public:
  explicit Session(FuzzInput& in) : in_(in) {}

  void Run() {
    for (unsigned i = 1 + in_.Below(4); i > 0; --i) Configure(a_.Add());
    a_.Reset();
    while (!in_.Empty()) Step();
    for (std::int32_t i = 0; i < a_.Count(); ++i) Inspect(a_.Items(i));
    for (std::int32_t i = 0; i < b_.Count(); ++i) Inspect(b_.Items(i));
  }

 private:
  void Configure(TskDataPacket& p) {
    p.SetPacketBegin(Marker(in_));
    p.SetPacketEnd(Marker(in_));
    p.SetPacketLength(static_cast<std::int32_t>(in_.Below(32)) - 4);
    p.SetPacketLengthMax(static_cast<std::int32_t>(in_.Below(8)) * 150);
    p.SetWildChar(in_.Chance(2) ? '?' : 0);
    p.SetPacketEndByTimeout(in_.Chance(2));
    p.SetResetOthers(in_.Chance(1));
    if (in_.Chance(3)) p.SetOnPacketLength(Hostile(this, in_));
  }

  // A length handler that may do anything to its own definition while it is asked.
  static sk::TskDataPacketLengthEvent Hostile(Session* self, FuzzInput& in) {
    return sk::TskDataPacketLengthEvent::Bind(self, [&in](TskDataPacket* p, Byte, bool& IsHandled) {
      switch (in.Below(8)) {
        case 0:
          p->Reset();
          break;
        case 1:
          p->SetPacketLengthMax(static_cast<std::int32_t>(in.Below(8)) * 150);
          break;
        case 2:
          p->SetPacketBegin(Marker(in));
          break;
        case 3:
          p->SetPacketLength(static_cast<std::int32_t>(in.Below(64)) - 8);
          break;
        case 4:
          Inspect(*p);
          break;
        default:
          break;
      }
      IsHandled = in.Chance(3);
    });
  }

  void Feed(Byte ch) {
    const std::int32_t i = a_.IsPacket(ch);
    Check(i >= -1 && i < a_.Count(), "completed index");
    if (i < 0) return;
    Inspect(a_.Items(i));
    if (!in_.Chance(1)) a_.Items(i).Reset();
  }

  TskDataPacket* Pick(TskDataPackets& c) {
    if (c.Count() == 0) return nullptr;
    return &c.Items(static_cast<std::int32_t>(in_.Below(static_cast<unsigned>(c.Count()))));
  }

  void Step() {
    const Byte op = in_.Byte();
    if (op < 180) return Feed(op % 3 == 0 ? in_.Byte() : Letter(in_));
    if (op < 200) {
      const Byte b = Letter(in_);
      for (unsigned n = 1 + in_.Below(32) * 64; n > 0; --n) Feed(b);
      return;
    }
    TskDataPacket* p = Pick(a_);
    try {
      switch (op % 12) {
        case 0:
          if (const std::int32_t i = a_.TimeoutPacketIndex(); i >= 0) {
            Inspect(a_.Items(i));
            a_.Items(i).Reset();
          }
          break;
        case 1:
          a_.ResetAllExcept(static_cast<std::int32_t>(in_.Below(6)) - 1);
          break;
        case 2:
          if (p) Configure(*p);
          break;
        case 3:
          if (p) p->SetPacketLengthMax(static_cast<std::int32_t>(in_.Below(8)) * 150);
          break;
        case 4:
          if (p) p->SetPacketBegin(Marker(in_));
          break;
        case 5:
          if (p) p->SetActive(!p->Active());
          break;
        case 6:
          Configure(a_.Insert(static_cast<std::int32_t>(in_.Below(6)) - 1));
          break;
        case 7:
          a_.Delete(static_cast<std::int32_t>(in_.Below(6)));
          break;
        case 8:
          if (p) b_.AddItem(p, static_cast<std::int32_t>(in_.Below(4)) - 1);
          break;
        case 9:
          if (TskDataPacket* q = Pick(b_))
            a_.AddItem(q, static_cast<std::int32_t>(in_.Below(6)) - 1);
          break;
        case 10:
          if (p)
            if (TskDataPacket* q = Pick(a_)) p->Assign(*q);
          break;
        default:
          if (in_.Chance(1))
            a_.Assign(b_);
          else
            a_.Reset();
          break;
      }
    } catch (const sk::Exception&) {
      // Indexes out of range are refused; that is fine as long as nothing broke.
    }
  }

  FuzzInput& in_;
  TskDataPackets a_;
  TskDataPackets b_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  Session(in).Run();
  return 0;
}
