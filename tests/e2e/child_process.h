#pragma once
// A program started by a test with its output in files, always ended and reaped: a test that
// fails half-way leaves no process behind.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace e2e {

class ChildProcess {
 public:
  // Runs Program with Args; its standard output and error go to OutFile and ErrFile.
  ChildProcess(const std::string& Program, const std::vector<std::string>& Args,
               std::string OutFile, std::string ErrFile)
      : outFile_(std::move(OutFile)), errFile_(std::move(ErrFile)) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<std::string> argv{Program};
    argv.insert(argv.end(), Args.begin(), Args.end());
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    const int rc = ::posix_spawn(&pid_, Program.c_str(), &actions, nullptr, cargv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      pid_ = -1;
      throw std::runtime_error("cannot start " + Program);
    }
  }
  ~ChildProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      int st = 0;
      ::waitpid(pid_, &st, 0);
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void Signal(int Sig) {
    if (pid_ > 0) ::kill(pid_, Sig);
  }
  // The exit status (128 + signal when a signal ended it) once it has ended within TimeoutMs.
  std::optional<int> Wait(int TimeoutMs) {
    if (pid_ <= 0) return status_;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    for (;;) {
      int st = 0;
      if (::waitpid(pid_, &st, WNOHANG) == pid_) {
        pid_ = -1;
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return status_;
      }
      if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
      // A child's end has no descriptor to wait on without owning SIGCHLD.
      ::poll(nullptr, 0, 5);
    }
  }
  std::string Stdout() const { return ReadAll(outFile_); }
  std::string Stderr() const { return ReadAll(errFile_); }

  static std::string ReadAll(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

 private:
  pid_t pid_ = -1;
  int status_ = -1;
  std::string outFile_;
  std::string errFile_;
};

}  // namespace e2e
