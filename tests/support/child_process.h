#pragma once
// A program started by a test, always ended and reaped: a test that fails half-way leaves no
// process behind. Its standard output and error go to files; SimProcess builds on the same
// start and wait (on POSIX systems).
#include <chrono>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/eventually.h"

namespace testsupport {

// The whole content of the file at Path (empty when it cannot be read).
inline std::string ReadAll(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace testsupport

#ifdef _WIN32
#include <windows.h>

namespace testsupport {

inline std::wstring Widened(const std::string& Text) {  // test paths and arguments are ASCII
  return std::wstring(Text.begin(), Text.end());
}

// One argument quoted as the C runtime splits a command line again.
inline std::wstring QuotedArgument(const std::string& Arg) {
  std::wstring out = L"\"";
  std::size_t slashes = 0;
  for (char c : Arg) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    out.append(c == '"' ? 2 * slashes + 1 : slashes, L'\\');
    slashes = 0;
    out.push_back(wchar_t(c));
  }
  out.append(2 * slashes, L'\\');
  return out + L"\"";
}

class ChildProcess {
 public:
  // Runs Program with Args; its standard output and error go to OutFile and ErrFile.
  ChildProcess(const std::string& Program, const std::vector<std::string>& Args,
               std::string OutFile, std::string ErrFile)
      : outFile_(std::move(OutFile)), errFile_(std::move(ErrFile)) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    auto open = [&](const std::string& Path, DWORD Access, DWORD Disposition) {
      HANDLE h = ::CreateFileW(Widened(Path).c_str(), Access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               &inherit, Disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + Path);
      return h;
    };
    HANDLE in = open("NUL", GENERIC_READ, OPEN_EXISTING);
    HANDLE out = open(outFile_, GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = open(errFile_, GENERIC_WRITE, CREATE_ALWAYS);
    std::wstring command = QuotedArgument(Program);
    for (const auto& a : Args) command += L" " + QuotedArgument(a);
    STARTUPINFOW start{};
    start.cb = sizeof(start);
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = in;
    start.hStdOutput = out;
    start.hStdError = err;
    PROCESS_INFORMATION info{};
    const BOOL started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0,
                                          nullptr, nullptr, &start, &info);
    ::CloseHandle(in);
    ::CloseHandle(out);
    ::CloseHandle(err);
    if (!started) throw std::runtime_error("cannot start " + Program);
    ::CloseHandle(info.hThread);
    process_ = info.hProcess;
  }
  ~ChildProcess() {
    if (process_) {
      ::TerminateProcess(process_, 137);
      ::WaitForSingleObject(process_, INFINITE);
      ::CloseHandle(process_);
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The exit status once it has ended within TimeoutMs.
  std::optional<int> Wait(int TimeoutMs) {
    if (!process_) return status_;
    if (::WaitForSingleObject(process_, DWORD(TimeoutMs)) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    ::GetExitCodeProcess(process_, &code);
    ::CloseHandle(process_);
    process_ = nullptr;
    status_ = int(code);
    return status_;
  }
  std::string Stdout() const { return ReadAll(outFile_); }
  std::string Stderr() const { return ReadAll(errFile_); }

 private:
  HANDLE process_ = nullptr;
  int status_ = -1;
  std::string outFile_;
  std::string errFile_;
};

}  // namespace testsupport
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace testsupport {

// Starts Program with Args under the given file actions; the process id.
inline pid_t SpawnProgram(const std::string& Program, const std::vector<std::string>& Args,
                          const posix_spawn_file_actions_t* Actions) {
  std::vector<std::string> argv{Program};
  argv.insert(argv.end(), Args.begin(), Args.end());
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  pid_t pid = -1;
  if (::posix_spawn(&pid, Program.c_str(), Actions, nullptr, cargv.data(), environ) != 0)
    throw std::runtime_error("cannot start " + Program);
  return pid;
}

// The exit status (128 + signal when a signal ended it).
inline int ExitStatus(int WaitStatus) {
  return WIFEXITED(WaitStatus) ? WEXITSTATUS(WaitStatus) : 128 + WTERMSIG(WaitStatus);
}

// Reaps Pid if it ends within TimeoutMs; its exit status, or nothing while it still runs.
inline std::optional<int> WaitForExit(pid_t Pid, int TimeoutMs) {
  int st = 0;
  // A child's end has no descriptor to wait on without owning SIGCHLD.
  if (Eventually([&] { return ::waitpid(Pid, &st, WNOHANG) == Pid; },
                 std::chrono::milliseconds(TimeoutMs), [] { ::poll(nullptr, 0, 5); }))
    return ExitStatus(st);
  return std::nullopt;
}

// Kills and reaps Pid; its exit status.
inline int KillAndReap(pid_t Pid) {
  ::kill(Pid, SIGKILL);
  int st = 0;
  while (::waitpid(Pid, &st, 0) < 0 && errno == EINTR) {
  }
  return ExitStatus(st);
}

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
    try {
      pid_ = SpawnProgram(Program, Args, &actions);
    } catch (...) {
      posix_spawn_file_actions_destroy(&actions);
      throw;
    }
    posix_spawn_file_actions_destroy(&actions);
  }
  ~ChildProcess() {
    if (pid_ > 0) KillAndReap(pid_);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }
  void Signal(int Sig) {
    if (pid_ > 0) ::kill(pid_, Sig);
  }
  // The exit status once it has ended within TimeoutMs.
  std::optional<int> Wait(int TimeoutMs) {
    if (pid_ <= 0) return status_;
    const auto status = WaitForExit(pid_, TimeoutMs);
    if (status) {
      pid_ = -1;
      status_ = *status;
    }
    return status;
  }
  std::string Stdout() const { return ReadAll(outFile_); }
  std::string Stderr() const { return ReadAll(errFile_); }

 private:
  pid_t pid_ = -1;
  int status_ = -1;
  std::string outFile_;
  std::string errFile_;
};

}  // namespace testsupport
#endif

namespace testsupport {

// Runs Program with Args to its end (killed after TimeoutMs); its exit status, -1 when it had
// to be killed. Its standard error goes to ErrFile.
inline int RunProgram(const std::string& Program, const std::vector<std::string>& Args,
                      const std::string& OutFile, const std::string& ErrFile,
                      int TimeoutMs = 120000) {
  ChildProcess child(Program, Args, OutFile, ErrFile);
  return child.Wait(TimeoutMs).value_or(-1);
}

}  // namespace testsupport
