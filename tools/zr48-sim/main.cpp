// zr48-sim: a ZR48 in boot mode on a pseudo-terminal, the peer for testing the loader.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "device_link.h"
#include "serialkit/core/component.h"
#include "serialkit/platform/port_map.h"
#include "serialkit/platform/system_error.h"
#include "serialkit/testing/pseudo_terminal.h"
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
image written then.

With --count N it serves N devices, one pseudo-terminal each, on COM<P> ... COM<P+N-1>: one
ready line per device, each frame log line begun with the device's port name, and the flash
of device K (from 1) written to FILE.K. Each device ends on its own (its port map entry goes
with it); the program ends when all have. The fault flags (--drop-answer, --mute, --noise,
--split, --hangup-after, --flash-delay) apply to every device, or with --fault-device to the
devices named.)";

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

// One simulated device on its own pseudo-terminal, entered as COM<N> if given a number.
struct RackDevice {
  sk::platform::PseudoTerminal pty;
  std::unique_ptr<PortMapEntryGuard> entry;
  std::unique_ptr<zr48sim::SimulatedBootLoader> device;
  std::unique_ptr<zr48sim::DeviceLink> link;
  std::string name;  // "COM<N>", or empty
  zr48sim::LinkEnd end = zr48sim::LinkEnd::Failed;
};

int main(int argc, char** argv) {
  CLI::App app{kDescription, "zr48-sim"};
  std::optional<std::uint32_t> port;
  std::string flashOut, frameLog;
  bool exitAfterImage = false, noise = false, split = false, mute = false;
  std::vector<unsigned> dropAnswers;
  unsigned hangupAfter = 0, count = 1;
  std::vector<unsigned> faultDevices;
  std::uint32_t baud = 0, flashDelay = 0, splitSize = 1, splitGap = 1, frameTimeout = 1000;
  std::optional<std::uint32_t> seed;

  app.add_option("--port", port,
                 "Enter the pseudo-terminal as COM<N> into the port map "
                 "($SK_PORTMAP_DIR, else $XDG_CONFIG_HOME/serialkit/ports)")
      ->check(CLI::Range(1u, 0xFFFFu));
  app.add_option("--count", count, "Serve N devices, on COM<P> ... COM<P+N-1> (needs --port)")
      ->default_val(1)
      ->check(CLI::Range(1u, 1024u));
  app.add_option("--fault-device", faultDevices,
                 "Apply the fault flags only to the K-th device (from 1; repeatable)")
      ->option_text("K")
      ->check(CLI::PositiveNumber);
  app.add_option("--flash-out", flashOut,
                 "Write the flash from 0x08002000 to FILE on exit (unwritten bytes 0xFF; "
                 "FILE.K for device K with --count)")
      ->option_text("FILE");
  app.add_flag("--exit-after-image", exitAfterImage,
               "End when the host closes the port after blocks were written");
  app.add_option("--drop-answer", dropAnswers,
                 "Leave the N-th answer to a frame unsent (from 1, the Info greeting not counted; "
                 "repeatable)")
      ->check(CLI::PositiveNumber);
  app.add_flag("--mute", mute,
               "Take frames but answer none, not even the greeting (a device that never answers)");
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
  if (count > 1 && !port) {
    std::cerr << "zr48-sim: --count needs --port\n";
    return 1;
  }
  if (port && *port + count - 1 > 0xFFFFu) {
    std::cerr << "zr48-sim: COM" << *port + count - 1 << " is beyond COM65535\n";
    return 1;
  }
  for (unsigned k : faultDevices) {
    if (k > count) {
      std::cerr << "zr48-sim: --fault-device " << k << ": there are " << count << " devices\n";
      return 1;
    }
  }

  std::ofstream logFile;
  if (!frameLog.empty()) {
    logFile.open(frameLog, std::ios::trunc);
    if (!logFile) {
      std::cerr << "zr48-sim: cannot write the frame log " << frameLog << '\n';
      return 1;
    }
  }
  std::ostream& logOut = frameLog.empty() ? std::cerr : logFile;
  std::mutex logMutex;  // the devices' threads share the frame log
  auto logFor = [&](const std::string& prefix) {
    return [&logOut, &logMutex, prefix](const std::string& line) {
      std::lock_guard lock(logMutex);
      logOut << prefix << line << std::endl;
    };
  };

  try {
    zr48sim::StopSignals stop;
    const auto faulty = [&](unsigned index) {
      return faultDevices.empty() ||
             std::find(faultDevices.begin(), faultDevices.end(), index + 1) != faultDevices.end();
    };
    const std::uint32_t noiseSeed = seed ? *seed : std::random_device{}();
    std::vector<std::unique_ptr<RackDevice>> rack;
    for (unsigned i = 0; i < count; ++i) {
      auto d = std::make_unique<RackDevice>();
      if (port) {
        d->name = "COM" + std::to_string(*port + i);
        d->entry = std::make_unique<PortMapEntryGuard>(*port + i, d->pty.SlavePath());
      }
      const auto log = logFor(count > 1 ? d->name + " " : std::string());
      const bool faults = faulty(i);
      zr48sim::SimOptions sim;
      if (faults) {
        sim.dropAnswers.insert(dropAnswers.begin(), dropAnswers.end());
        sim.flashDelayMs = flashDelay;
        sim.hangupAfterFrames = hangupAfter;
        sim.mute = mute;
      }
      zr48sim::LinkOptions link;
      link.plan.baud = baud;
      if (split && faults) {
        link.plan.splitSize = splitSize;
        link.plan.splitGap = std::chrono::milliseconds(splitGap);
      }
      link.noise = noise && faults;
      link.seed = noiseSeed + i;
      if (link.noise) log("noise seed " + std::to_string(link.seed));
      link.frameTimeoutMs = frameTimeout;
      link.exitAfterImage = exitAfterImage;
      d->device = std::make_unique<zr48sim::SimulatedBootLoader>(sim, log);
      d->link = std::make_unique<zr48sim::DeviceLink>(*d->device, link, log);
      rack.push_back(std::move(d));
    }
    for (const auto& d : rack)
      std::cout << d->pty.SlavePath() << (d->name.empty() ? "" : " " + d->name) << '\n';
    std::cout << std::flush;

    // Each device on its own thread, so that one device's paced writes never hold up another.
    {
      std::vector<std::jthread> threads;
      for (auto& d : rack) {
        threads.emplace_back([&d, &stop, log = logFor(count > 1 ? d->name + " " : "")] {
          d->end = d->link->Run(d->pty, stop.Fd());
          d->entry.reset();  // the device is gone from the port map as soon as it ends
          log(std::string("end ") + EndName(d->end));
        });
      }
    }
    int status = 0;
    for (unsigned i = 0; i < count; ++i) {
      const auto& d = *rack[i];
      if (d.end == zr48sim::LinkEnd::Failed) {
        std::cerr << "zr48-sim: " << (d.name.empty() ? "" : d.name + ": ") << d.link->Error()
                  << '\n';
        status = 1;
      }
      if (!flashOut.empty()) {
        std::string error;
        const auto file = count > 1 ? flashOut + "." + std::to_string(i + 1) : flashOut;
        if (!d.device->Flash().SaveImage(file, error)) {
          std::cerr << "zr48-sim: " << error << '\n';
          status = 1;
        }
      }
    }
    return status;
  } catch (const std::exception& e) {
    std::cerr << "zr48-sim: " << e.what() << '\n';
    return 1;
  }
}
