// Prints every packet framed by "<" and ">" that arrives on a port, with the local time it
// came at, until the port is lost or the program is asked to stop (Ctrl+C, SIGTERM).
//   sniff <device path or COMn> [baud rate, default 115200]
#include <serialkit/serialkit.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <string>

namespace {

// "hh:mm:ss.mmm" of the local time now.
std::string TimeStamp() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  char text[32];
  const std::size_t n = std::strftime(text, sizeof text, "%H:%M:%S", &local);
  std::snprintf(text + n, sizeof text - n, ".%03d", static_cast<int>(ms.count()));
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s <device path or COMn> [baud rate]\n", argv[0]);
    return 2;
  }
  // The processor is linked to the port, never owned by it: both belong to this owner.
  sk::TComponent owner;
  auto& port = sk::TComponent::Create<sk::TskComm>(owner);
  auto& processor = sk::TComponent::Create<sk::TskDataProcessor>(owner);
  port.SetDevicePath(argv[1]);
  port.SetBaudRate(argc == 3 ? static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10))
                             : 115200);
  port.SetStreamProtocol(sk::spNone);

  sk::TskDataPacket& packet = processor.DataPackets().Add();
  packet.SetPacketBegin(sk::ToBytes("<"));
  packet.SetPacketEnd(sk::ToBytes(">"));
  processor.SetOnDataPacket(
      sk::TskDataPacketEvent::Bind(&processor, [](sk::TObject*, sk::TskDataPacket* Packet) {
        const sk::ByteString data = Packet->Data();
        std::printf("%s %.*s\n", TimeStamp().c_str(), static_cast<int>(data.size()),
                    reinterpret_cast<const char*>(data.data()));
        std::fflush(stdout);
      }));
  port.SetDataProcessor(&processor);

  try {
    port.SetActive(true);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  sk::platform::Application().RunUntil([&port] { return !port.Active(); });
  return 0;
}
