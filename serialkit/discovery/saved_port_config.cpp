#include "serialkit/discovery/saved_port_config.h"

namespace sk {

namespace {

// The DCB's members in their Win32 order, little-endian, whatever the machine's byte order.
class Writer {
 public:
  explicit Writer(std::uint8_t* At) : at_(At) {}
  template <class T>
  Writer& Put(T Value) {
    for (std::size_t i = 0; i < sizeof(T); ++i)
      *at_++ = static_cast<std::uint8_t>(static_cast<std::uint32_t>(Value) >> (8 * i));
    return *this;
  }

 private:
  std::uint8_t* at_;
};

class Reader {
 public:
  explicit Reader(const std::uint8_t* At) : at_(At) {}
  template <class T>
  Reader& Get(T& Value) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) v |= static_cast<std::uint32_t>(*at_++) << (8 * i);
    Value = static_cast<T>(v);
    return *this;
  }

 private:
  const std::uint8_t* at_;
};

}  // namespace

SavedPortConfig SavedPortConfig::From(std::uint16_t ComPortNo, const DCB& Dcb) {
  SavedPortConfig c;
  c.PortNo = static_cast<std::uint8_t>(ComPortNo & 0xFF);
  c.Dcb = Dcb;
  return c;
}

std::array<std::uint8_t, SavedPortConfig::kSize> SavedPortConfig::Encode() const {
  std::array<std::uint8_t, kSize> bytes{};
  Writer(bytes.data() + kPortNoOffset).Put(static_cast<std::uint16_t>(PortNo));
  const DCB& d = Dcb;
  Writer(bytes.data() + kDcbOffset)
      .Put(d.DCBlength)
      .Put(d.BaudRate)
      .Put(DcbFlags(d))
      .Put(d.wReserved)
      .Put(d.XonLim)
      .Put(d.XoffLim)
      .Put(d.ByteSize)
      .Put(d.Parity)
      .Put(static_cast<std::uint8_t>(d.StopBits))
      .Put(static_cast<std::uint8_t>(d.XonChar))
      .Put(static_cast<std::uint8_t>(d.XoffChar))
      .Put(static_cast<std::uint8_t>(d.ErrorChar))
      .Put(static_cast<std::uint8_t>(d.EofChar))
      .Put(static_cast<std::uint8_t>(d.EvtChar))
      .Put(d.wReserved1);
  return bytes;
}

std::optional<SavedPortConfig> SavedPortConfig::Decode(std::span<const std::uint8_t> Value) {
  if (Value.size() != kSize) return std::nullopt;
  SavedPortConfig c;
  // Byte 1 is not looked at: no writer puts anything there.
  c.PortNo = Value[kPortNoOffset];
  DCB& d = c.Dcb;
  std::uint32_t flags = 0;
  std::uint8_t xon = 0, xoff = 0, error = 0, eof = 0, evt = 0;
  Reader(Value.data() + kDcbOffset)
      .Get(d.DCBlength)
      .Get(d.BaudRate)
      .Get(flags)
      .Get(d.wReserved)
      .Get(d.XonLim)
      .Get(d.XoffLim)
      .Get(d.ByteSize)
      .Get(d.Parity)
      .Get(d.StopBits)
      .Get(xon)
      .Get(xoff)
      .Get(error)
      .Get(eof)
      .Get(evt)
      .Get(d.wReserved1);
  SetDcbFlags(d, flags);
  d.XonChar = static_cast<char>(xon);
  d.XoffChar = static_cast<char>(xoff);
  d.ErrorChar = static_cast<char>(error);
  d.EofChar = static_cast<char>(eof);
  d.EvtChar = static_cast<char>(evt);
  return c;
}

}  // namespace sk
