// The echo example's check: opens a pseudo-terminal pair, starts `echo` on its slave end, sends
// random chunks to the master end and checks that every byte comes back in order. Prints the
// median and the 99th percentile of the chunks' round trips.
//   echo-check <echo program> [chunks, default 1000]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

bool WriteAll(int Fd, const std::uint8_t* Data, std::size_t Size) {
  while (Size > 0) {
    const ssize_t n = ::write(Fd, Data, Size);
    if (n < 0) return false;
    Data += n;
    Size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Reads until Size bytes have come or TimeoutMs passes without any.
std::vector<std::uint8_t> ReadBytes(int Fd, std::size_t Size, int TimeoutMs) {
  std::vector<std::uint8_t> got;
  while (got.size() < Size) {
    pollfd p{Fd, POLLIN, 0};
    if (::poll(&p, 1, TimeoutMs) <= 0) break;
    std::uint8_t buf[4096];
    const ssize_t n = ::read(Fd, buf, std::min(sizeof buf, Size - got.size()));
    if (n <= 0) break;
    got.insert(got.end(), buf, buf + n);
  }
  return got;
}

double Percentile(std::vector<double> Values, double P) {
  std::sort(Values.begin(), Values.end());
  const auto index = static_cast<std::size_t>(P * static_cast<double>(Values.size() - 1) + 0.5);
  return Values[index];
}

int Fail(const char* What) {
  std::fprintf(stderr, "echo-check: %s\n", What);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Fail("usage: echo-check <echo program> [chunks]");
  const int chunks = argc > 2 ? std::atoi(argv[2]) : 1000;

  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
    return Fail("no pseudo-terminal");
  const std::string slave = ::ptsname(master);
  // Raw from the start, so that nothing sent before echo has set the line up is echoed or
  // held back by the terminal's own line editing. Held open to the end: with no slave end
  // open the master end reads as hung up.
  const int slaveHeld = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
  termios raw{};
  if (slaveHeld < 0 || ::tcgetattr(slaveHeld, &raw) != 0) return Fail("slave end does not open");
  ::cfmakeraw(&raw);
  ::tcsetattr(slaveHeld, TCSANOW, &raw);

  pid_t echo = 0;
  char* const args[] = {argv[1], const_cast<char*>(slave.c_str()), nullptr};
  if (::posix_spawn(&echo, argv[1], nullptr, nullptr, args, environ) != 0)
    return Fail("echo does not start");

  // Echo is up once a probe comes back; later copies of earlier probes are drained.
  const std::uint8_t probe = '?';
  bool up = false;
  for (int i = 0; i < 100 && !up; ++i) {
    WriteAll(master, &probe, 1);
    up = !ReadBytes(master, 1, 100).empty();
  }
  while (!ReadBytes(master, 1, 200).empty()) {
  }
  if (!up) {
    ::kill(echo, SIGTERM);
    return Fail("echo never answered");
  }

  std::mt19937 random(20);
  std::uniform_int_distribution<int> length(1, 256), byte(0, 255);
  std::vector<double> trips;
  std::size_t bytes = 0;
  int failures = 0;
  for (int i = 0; i < chunks; ++i) {
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(length(random)));
    for (auto& b : chunk) b = static_cast<std::uint8_t>(byte(random));
    const auto start = Clock::now();
    if (!WriteAll(master, chunk.data(), chunk.size()))
      return Fail("write to the master end failed");
    const auto back = ReadBytes(master, chunk.size(), 5000);
    trips.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    bytes += chunk.size();
    if (back != chunk) {
      std::fprintf(stderr, "echo-check: chunk %d of %zu bytes came back as %zu different bytes\n",
                   i, chunk.size(), back.size());
      if (++failures > 5) break;
    }
  }

  ::kill(echo, SIGTERM);
  int status = 0;
  ::waitpid(echo, &status, 0);
  ::close(master);
  ::close(slaveHeld);
  std::printf("echo-check: %d chunks, %zu bytes, round trip median %.0f us, p99 %.0f us\n",
              static_cast<int>(trips.size()), bytes, Percentile(trips, 0.5),
              Percentile(trips, 0.99));
  if (failures > 0) return Fail("bytes did not come back as sent");
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return Fail("echo did not end cleanly");
  return 0;
}
