#pragma once
// Runs the device simulator as a program for a test: starts it, reads the line naming its
// pseudo-terminal, and ends it (SIGTERM) when the test is done. Shared by the tests that need
// a device on a real pseudo-terminal.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/eventually.h"

namespace testsupport {

inline std::string Zr48SimPath() {
#ifdef ZR48_SIM_PATH
  return ZR48_SIM_PATH;
#else
  return "bin/zr48-sim";  // tests run in the build directory
#endif
}

class SimProcess {
 public:
  // Starts the simulator with Args and waits (up to 10 s) for its ready lines, one per device.
  explicit SimProcess(const std::vector<std::string>& Args, std::size_t Devices = 1) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    try {
      pid_ = SpawnProgram(Zr48SimPath(), Args, &actions);
    } catch (...) {
      posix_spawn_file_actions_destroy(&actions);
      ::close(out[0]);
      ::close(out[1]);
      throw;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    stdout_ = out[0];
    try {
      for (std::size_t i = 0; i < Devices; ++i) {
        const auto line = ReadLine(10000);
        const auto space = line.find(' ');
        ttyPaths_.push_back(line.substr(0, space));
        portNames_.push_back(space != std::string::npos ? line.substr(space + 1) : "");
      }
    } catch (...) {
      Terminate();
      ::close(stdout_);
      throw;
    }
  }
  ~SimProcess() {
    if (pid_ > 0) Terminate();
    if (stdout_ >= 0) ::close(stdout_);
  }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // Of the first device, or of device I (from 0) with --count.
  const std::string& TtyPath(std::size_t I = 0) const { return ttyPaths_.at(I); }
  const std::string& PortName(std::size_t I = 0) const { return portNames_.at(I); }  // "COM<N>"
  bool Running() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }

  // SIGTERM, then the exit status; a simulator that does not end within 30 s is killed
  // (SIGKILL) and reaped, so that no test leaves it behind. The status then says SIGKILL.
  int Terminate() {
    if (pid_ <= 0) return status_;
    ::kill(pid_, SIGTERM);
    if (const auto status = Wait(30000)) return *status;
    status_ = KillAndReap(pid_);
    pid_ = -1;
    return status_;
  }
  // The exit status once the program has ended within TimeoutMs, else nothing.
  std::optional<int> Wait(int TimeoutMs) {
    if (pid_ <= 0) return status_;
    const auto status = WaitForExit(pid_, TimeoutMs);
    if (status) {
      pid_ = -1;
      status_ = *status;
    }
    return status;
  }

 private:
  std::string ReadLine(int TimeoutMs) {
    std::string line;
    bool ended = false, closed = false;
    Eventually([&] { return ended || closed; }, std::chrono::milliseconds(TimeoutMs),
               [&] {
                 pollfd p{stdout_, POLLIN, 0};
                 if (::poll(&p, 1, 100) <= 0) return;
                 char c;
                 if (::read(stdout_, &c, 1) != 1)
                   closed = true;
                 else if (c == '\n')
                   ended = true;
                 else
                   line += c;
               });
    if (ended) return line;
    throw std::runtime_error("the simulator printed no pseudo-terminal line");
  }

  pid_t pid_ = -1;
  int stdout_ = -1;
  int status_ = -1;
  std::vector<std::string> ttyPaths_;
  std::vector<std::string> portNames_;
};

}  // namespace testsupport
