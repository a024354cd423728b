// Saves one port configuration again and again, for the test of two processes saving the
// same value at once: saver KEY NAME PORTNO BAUDRATE COUNT.
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "serialkit/comm/serial_comm.h"

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s KEY NAME PORTNO BAUDRATE COUNT\n", argv[0]);
    return 2;
  }
  try {
    sk::TskComm com;
    com.SetComPortNo(static_cast<std::uint16_t>(std::atoi(argv[3])));
    com.SetBaudRate(static_cast<std::uint32_t>(std::strtoul(argv[4], nullptr, 10)));
    for (int i = std::atoi(argv[5]); i > 0; --i)
      com.SaveConfig(sk::platform::RegistryRoot::CurrentUser, argv[1], argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
