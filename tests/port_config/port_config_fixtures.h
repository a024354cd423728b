#pragma once
// What the configuration tests share: registry roots of the test's own, and the port on fake
// devices.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "serialkit/comm/serial_comm.h"
#include "serialkit/platform/system_error.h"
#include "serialkit/testing/fake_serial_device.h"
#include "support/fake_comm.h"
#include "support/recording_log.h"
#include "support/scratch_dir.h"

namespace sktest {

using Bytes = std::vector<std::uint8_t>;
using testsupport::RecordingLog;
using testsupport::ScratchDir;

// Sets an environment variable for the life of the object, then puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* Name, const std::string& Value) : name_(Name) {
    if (const char* old = ::getenv(Name)) old_ = old;
    Set(Name, Value.c_str());
  }
  ~ScopedEnv() { Set(name_, old_ ? old_->c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  // Null removes the variable.
  static void Set(const char* Name, const char* Value) {
#ifdef _WIN32
    ::_putenv_s(Name, Value != nullptr ? Value : "");
#else
    if (Value != nullptr)
      ::setenv(Name, Value, 1);
    else
      ::unsetenv(Name);
#endif
  }

  const char* name_;
  std::optional<std::string> old_;
};

// Both registry roots inside a scratch folder.
class RegistryRoots : public ::testing::Test {
 protected:
  std::string UserRoot() const { return dir / "config/serialkit/registry"; }
  std::string MachineRoot() const { return dir / "machine"; }

  ScratchDir dir;
  ScopedEnv xdg{"XDG_CONFIG_HOME", dir / "config"};
  ScopedEnv machine{"SK_MACHINE_REGISTRY", dir / "machine"};
};

using testsupport::FakeComm;

// The fatal errors a port reports, with the exception cleared when asked.
struct FatalErrors {
  void Heard(sk::TObject*, std::uint32_t Code, std::uint32_t Detail, const std::string& Msg,
             bool& Raise) {
    heard.push_back(std::to_string(Code) + " " + std::to_string(Detail) + " " + Msg);
    if (silence) Raise = false;
  }
  sk::TOnFatalErrorEvent Event() { return sk::TOnFatalErrorEvent(this, &FatalErrors::Heard); }
  bool silence = false;
  std::vector<std::string> heard;
};

}  // namespace sktest
