// Bytes both ways between a pseudo-terminal's master end and the serial device opened on its
// slave end, through nothing but the installed headers and libraries.
#include <serialkit/platform/serial_device.h>
#include <serialkit/testing/pseudo_terminal.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

int main() {
  sk::platform::PseudoTerminal Terminal;
  auto Device = sk::platform::OpenSerialDevice(Terminal.SlavePath());
  if (!Device) {
    std::fprintf(stderr, "cannot open %s\n", Terminal.SlavePath().c_str());
    return 1;
  }
  const std::vector<std::uint8_t> Sent{'<', 0x00, 0x7f, 0x80, 0xff, '>'};
  if (!Terminal.Write(Sent)) return 1;
  std::vector<std::uint8_t> Got;
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (Got.size() < Sent.size() && std::chrono::steady_clock::now() < Deadline) {
    std::uint8_t Buffer[64];
    std::uint32_t Count = 0;
    if (!Device->ReadAvailable(Buffer, sizeof Buffer, Count)) return 1;
    Got.insert(Got.end(), Buffer, Buffer + Count);
    if (Count == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::uint32_t Written = 0;
  if (Got != Sent || !Device->Write(Got.data(), static_cast<std::uint32_t>(Got.size()), Written)) {
    std::fprintf(stderr, "device received %zu of %zu bytes\n", Got.size(), Sent.size());
    return 1;
  }
  const bool Echoed = Terminal.Read(Sent.size(), 5000) == Sent;
  std::printf("round trip of %zu bytes: %s\n", Sent.size(), Echoed ? "ok" : "wrong");
  return Echoed ? 0 : 1;
}
