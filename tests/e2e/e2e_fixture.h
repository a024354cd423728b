#pragma once
// The command-line loader against the device simulator, both as programs on a pseudo-
// terminal, with a port map and scratch files of the test's own.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "loader/chunk_rule.h"
#include "support/child_process.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"

namespace e2e {

using Bytes = std::vector<std::uint8_t>;

// Generous: sanitizer builds on a busy machine are slow, and a hang must still end.
inline constexpr int kProgramDeadlineMs = 120000;

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("SK_PORTMAP_DIR", (dir_ / "ports").c_str(), 1); }
  void TearDown() override { ::unsetenv("SK_PORTMAP_DIR"); }

  std::string Path(const std::string& Name) const { return dir_ / Name; }

  // A random plain image of Size bytes, encrypted with the image tool into Name.
  Bytes MakeImage(std::size_t Size, const std::string& Name = "image.brox") {
    Bytes plain(Size);
    std::mt19937 rng(static_cast<unsigned>(Size));
    for (auto& b : plain) b = static_cast<std::uint8_t>(rng());
    WriteFile(Path("plain.bin"), plain);
    testsupport::ChildProcess brox(BROX_PATH, {"encrypt", Path("plain.bin"), Path(Name)},
                                   Path("brox.out"), Path("brox.err"));
    EXPECT_EQ(brox.Wait(kProgramDeadlineMs), 0) << brox.Stderr();
    return plain;
  }

  // The simulator as COM7 with its flash image and frame log in the scratch folder.
  std::unique_ptr<testsupport::SimProcess> StartSim(std::vector<std::string> Extra = {}) {
    std::vector<std::string> args{"--port",          "7",           "--flash-out",
                                  Path("flash.bin"), "--frame-log", Path("frames.log")};
    args.insert(args.end(), Extra.begin(), Extra.end());
    return std::make_unique<testsupport::SimProcess>(args);
  }

  std::unique_ptr<testsupport::ChildProcess> StartCli(const std::string& Image,
                                                      const std::string& Port,
                                                      std::vector<std::string> Extra = {}) {
    std::vector<std::string> args{Image, "--port", Port};
    args.insert(args.end(), Extra.begin(), Extra.end());
    return std::make_unique<testsupport::ChildProcess>(BOOTSHELL_CLI_PATH, args, Path("cli.out"),
                                                       Path("cli.err"));
  }

  // Runs the loader to its end; its exit status (-1 if it did not end in time).
  int RunCli(const std::string& Image, const std::string& Port,
             std::vector<std::string> Extra = {}) {
    cli_ = StartCli(Image, Port, std::move(Extra));
    return cli_->Wait(kProgramDeadlineMs).value_or(-1);
  }
  std::string CliOut() const { return cli_ ? cli_->Stdout() : ""; }
  std::string CliErr() const { return cli_ ? cli_->Stderr() : ""; }

  // Ends the simulator (if still running) so that it writes its flash image and log.
  void EndSim(std::unique_ptr<testsupport::SimProcess>& Sim) {
    if (Sim && Sim->Running()) {
      EXPECT_EQ(Sim->Terminate(), 0);
    }
  }
  Bytes Flash() const {
    const std::string text = testsupport::ReadAll(Path("flash.bin"));
    return Bytes(text.begin(), text.end());
  }
  // The simulator's frame log without the lines about the host coming and going.
  std::vector<std::string> FrameLog() const;

  // What the device's flash must hold after the image Plain: the first 1024 bytes of every
  // chunk that is sent, at the chunk's offset; unwritten bytes 0xFF.
  static Bytes ExpectedFlash(const Bytes& Plain);
  static void WriteFile(const std::string& Path, const Bytes& Data);

  testsupport::ScratchDir dir_;
  std::unique_ptr<testsupport::ChildProcess> cli_;
};

}  // namespace e2e
