// The CPU that a port costs while nothing happens on it: one overlapped WaitCommEvent pending
// for the given seconds, as the port's worker keeps one while connected, and nothing else. The
// idle window's figure less this one is what the window itself costs.
//   bench_pending_wait_cost.exe COM<n> [SECONDS]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "process_cpu.h"

namespace {

// One handle, closed when it goes.
struct Handle {
  HANDLE h;
  ~Handle() {
    if (h && h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s COM<n> [SECONDS]\n", argv[0]);
    return 2;
  }
  const double seconds = argc > 2 ? std::atof(argv[2]) : 5.0;
  const std::string path = std::string("\\\\.\\") + argv[1];
  Handle port{::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr)};
  if (port.h == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "%s does not open (error %lu)\n", argv[1], ::GetLastError());
    return 1;
  }
  // Whatever the device said on opening is not an event to wake for.
  ::Sleep(300);
  ::PurgeComm(port.h, PURGE_RXCLEAR | PURGE_TXCLEAR);
  ::SetCommMask(port.h, EV_RXCHAR | EV_TXEMPTY);
  Handle done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  OVERLAPPED wait{};
  wait.hEvent = done.h;
  DWORD events = 0;
  const double before = ProcessCpuSeconds();
  const DWORD start = ::GetTickCount();
  if (!::WaitCommEvent(port.h, &events, &wait) && ::GetLastError() != ERROR_IO_PENDING) {
    std::fprintf(stderr, "WaitCommEvent failed (error %lu)\n", ::GetLastError());
    return 1;
  }
  if (::WaitForSingleObject(done.h, static_cast<DWORD>(seconds * 1000)) != WAIT_TIMEOUT) {
    std::fprintf(stderr, "an event came (0x%lx): the line was not quiet\n", events);
    return 1;
  }
  const double wall = (::GetTickCount() - start) / 1000.0;
  std::printf("A pending port wait alone: %.2f %% of a core over %.1f s\n",
              100 * (ProcessCpuSeconds() - before) / wall, wall);
  ::SetCommMask(port.h, 0);  // ends the pending wait before the handle goes
  return 0;
}
