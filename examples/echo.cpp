// Writes every chunk it receives back where it came from, at 115200 8N1, until the port is
// lost or the program is asked to stop (Ctrl+C, SIGTERM).
//   echo <device path or COMn>
#include <serialkit/serialkit.h>

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <device path or COMn>\n", argv[0]);
    return 2;
  }
  sk::TskComm port;
  port.SetDevicePath(argv[1]);
  port.SetBaudRate(115200);
  port.SetByteSize(8);
  port.SetParity(sk::pNone);
  port.SetStopBits(sk::sbOne);
  port.SetStreamProtocol(sk::spNone);
  // Runs in this thread (the port's UseMainThread), inside RunUntil below. SendData takes the
  // bytes as they are now and returns at once.
  port.SetOnAfterReceive(sk::TOnReceived::Bind(
      &port, [&port](sk::TObject*, const sk::Byte* Buffer, std::uint32_t Received) {
        port.SendData(Buffer, Received);
      }));
  try {
    port.SetActive(true);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  sk::platform::Application().RunUntil([&port] { return !port.Active(); });
  port.SetActive(false);
  return 0;
}
