// zr48-sim: a ZR48 in boot mode on a pseudo-terminal, the peer for testing the loader.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <string>

#include "serialkit/core/component.h"
#include "device_link.h"
#include "serialkit/platform/port_map.h"
#include "serialkit/testing/pseudo_terminal.h"
#include "serialkit/platform/system_error.h"
#include "simulated_boot_loader.h"
#include "stop_signals.h"

namespace {

constexpr const char* kDescription = R"(A ZR48 held in boot mode, simulated on a pseudo-terminal.

Prints one line on standard output when ready: the path of the pseudo-terminal to open as the
serial port, followed by "COM<N>" when --port is given. Then it answers like the device:
  handshake frame (A1)          -> answer tag 0
  address frame (A7)            -> answer tag 3 (error if outside the application flash)
  data frame (A8), 1024 bytes   -> stored at the last accepted address, then answer tag 2
  wrong length or sum           -> error answer (tag 1), no acknowledgement
and announces itself with an Info answer (tag 1000) whenever a host opens the port. Answers
are readable text between their markers ("answerB3" ... "answerE3").

The frame log (standard error unless --frame-log is given) has one line per event:
  host connected | host disconnected
  rx handshake ok | rx address 0x08002000 ok | rx data 0x08002000 sum 0x5A ok
  rx <frame> bad-length <n> | rx <frame> bad-sum <sent> expected <sum>
  rx skipped <n> bytes | rx incomplete frame dropped after <n> bytes
  rx <frame> lost: hangup after <n> frames
  tx <tag> <text> | tx <tag> dropped
  end <stopped|hangup|image-done>

It ends on SIGINT, SIGTERM or SIGHUP, after --hangup-after, or with --exit-after-image when
the host closes the port after writing blocks; the port map entry is removed and the flash
image written then.)";

// Keeps COM<N> in the override port map while the simulator runs.
class PortMapEntryGuard {
 public:
  PortMapEntryGuard(std::uint32_t PortNo, std::string Device) : no_(PortNo), device_(Device) {
    if (!map_.AddOverride(no_, device_))
      throw sk::Exception("cannot enter COM" + std::to_string(no_) + " into " + map_.OverrideDir() +
                          ": " + sk::platform::SystemErrorText(sk::platform::LastError()));
  }
  ~PortMapEntryGuard() {
    // Another simulator may have taken the number meanwhile; its entry stays.
    if (map_.Resolve("COM" + std::to_string(no_)) == device_) map_.RemoveOverride(no_);
  }

 private:
  sk::platform::PortMap map_;
  std::uint32_t no_;
  std::string device_;
};

const char* EndName(zr48sim::LinkEnd end) {
  switch (end) {
    case zr48sim::LinkEnd::Stopped:
      return "stopped";
    case zr48sim::LinkEnd::HungUp:
      return "hangup";
    case zr48sim::LinkEnd::ImageDone:
      return "image-done";
    default:
      return "failed";
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{kDescription, "zr48-sim"};
  std::optional<std::uint32_t> port;
  std::string flashOut, frameLog;
  bool exitAfterImage = false, noise = false, split = false;
  std::vector<unsigned> dropAnswers;
  unsigned hangupAfter = 0;
  std::uint32_t baud = 0, flashDelay = 0, splitSize = 1, splitGap = 1, frameTimeout = 1000;
  std::optional<std::uint32_t> seed;

  app.add_option("--port", port,
                 "Enter the pseudo-terminal as COM<N> into the port map "
                 "($SK_PORTMAP_DIR, else $XDG_CONFIG_HOME/serialkit/ports)")
      ->check(CLI::Range(1u, 0xFFFFu));
  app.add_option("--flash-out", flashOut,
                 "Write the flash from 0x08002000 to FILE on exit (unwritten bytes 0xFF)")
      ->option_text("FILE");
  app.add_flag("--exit-after-image", exitAfterImage,
               "End when the host closes the port after blocks were written");
  app.add_option("--drop-answer", dropAnswers,
                 "Leave the N-th answer to a frame unsent (from 1, the Info greeting not counted; "
                 "repeatable)")
      ->check(CLI::PositiveNumber);
  app.add_flag("--noise", noise, "Write 1 to 8 random bytes after every answer");
  app.add_option("--seed", seed, "Seed of the noise (default: random, logged)");
  app.add_flag("--split", split, "Write answers in small pieces with pauses between them");
  app.add_option("--split-size", splitSize, "Bytes per piece with --split")
      ->default_val(1)
      ->check(CLI::Range(1u, 4096u));
  app.add_option("--split-gap", splitGap, "Milliseconds between pieces with --split")
      ->default_val(1);
  app.add_option("--hangup-after", hangupAfter,
                 "Close the line on the N-th frame, leaving it unanswered (an unplugged cable)")
      ->check(CLI::PositiveNumber);
  app.add_option("--baud", baud,
                 "Pace both directions at the byte time of this rate (11 bits a byte, 8N2)")
      ->check(CLI::Range(50u, 100000000u));
  app.add_option("--flash-delay", flashDelay, "Milliseconds a data block takes to write")
      ->default_val(0);
  app.add_option("--frame-timeout", frameTimeout,
                 "Milliseconds of silence after which an unfinished frame is dropped")
      ->default_val(1000)
      ->check(CLI::PositiveNumber);
  app.add_option("--frame-log", frameLog, "Write the frame log to FILE instead of stderr")
      ->option_text("FILE");
  CLI11_PARSE(app, argc, argv);

  std::ofstream logFile;
  if (!frameLog.empty()) {
    logFile.open(frameLog, std::ios::trunc);
    if (!logFile) {
      std::cerr << "zr48-sim: cannot write the frame log " << frameLog << '\n';
      return 1;
    }
  }
  std::ostream& logOut = frameLog.empty() ? std::cerr : logFile;
  auto log = [&logOut](const std::string& line) { logOut << line << std::endl; };

  try {
    zr48sim::StopSignals stop;
    sk::platform::PseudoTerminal pty;
    std::unique_ptr<PortMapEntryGuard> entry;
    if (port) entry = std::make_unique<PortMapEntryGuard>(*port, pty.SlavePath());

    zr48sim::SimOptions sim;
    sim.dropAnswers.insert(dropAnswers.begin(), dropAnswers.end());
    sim.flashDelayMs = flashDelay;
    sim.hangupAfterFrames = hangupAfter;
    zr48sim::LinkOptions link;
    link.plan.baud = baud;
    if (split) {
      link.plan.splitSize = splitSize;
      link.plan.splitGap = std::chrono::milliseconds(splitGap);
    }
    link.noise = noise;
    link.seed = seed ? *seed : std::random_device{}();
    if (noise) log("noise seed " + std::to_string(link.seed));
    link.frameTimeoutMs = frameTimeout;
    link.exitAfterImage = exitAfterImage;

    zr48sim::SimulatedBootLoader device(sim, log);
    zr48sim::DeviceLink server(device, link, log);
    std::cout << pty.SlavePath() << (port ? " COM" + std::to_string(*port) : "") << std::endl;

    const auto end = server.Run(pty, stop.Fd());
    log(std::string("end ") + EndName(end));
    int status = 0;
    if (end == zr48sim::LinkEnd::Failed) {
      std::cerr << "zr48-sim: " << server.Error() << '\n';
      status = 1;
    }
    if (!flashOut.empty()) {
      std::string error;
      if (!device.Flash().SaveImage(flashOut, error)) {
        std::cerr << "zr48-sim: " << error << '\n';
        status = 1;
      }
    }
    return status;
  } catch (const std::exception& e) {
    std::cerr << "zr48-sim: " << e.what() << '\n';
    return 1;
  }
}
