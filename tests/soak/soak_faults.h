#pragma once
// The faults of a soak transfer: what the simulated device does wrong, and how the loader's
// run must end because of it. Shared by the in-process soak and, through its printed form,
// by scripts/soak.sh.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "exit_status.h"

namespace soak {

using bootshell::cli::ExitStatus;

struct Transfer {
  std::size_t imageSize = 0;
  std::string fault;                 // "none", "noise", "split", "drop", "hangup", "slow"
  std::vector<std::string> simArgs;  // for zr48-sim
  ExitStatus expected = ExitStatus::Written;
};

// Blocks (address and data cycles) a transfer of Size bytes makes.
inline std::size_t Cycles(std::size_t Size) {
  return Size <= 4096 ? 1 : (Size - 2048 + 2047) / 2048;
}

// A random transfer: a size from 2048 bytes to 48 KiB, and one fault or none.
inline Transfer RandomTransfer(std::mt19937& Rng) {
  Transfer t;
  t.imageSize = 2048 + Rng() % (46 * 1024);
  const auto cycles = static_cast<unsigned>(Cycles(t.imageSize));
  // Answers and frames after the handshake: address and data per cycle.
  const unsigned lastFrame = 1 + 2 * cycles;
  switch (Rng() % 6) {
    case 0:
      t.fault = "none";
      break;
    case 1:
      t.fault = "noise";
      t.simArgs = {"--noise", "--seed", std::to_string(Rng())};
      break;
    case 2:
      t.fault = "split";
      t.simArgs = {"--split", "--split-size", std::to_string(1 + Rng() % 8), "--split-gap",
                   std::to_string(Rng() % 2)};
      break;
    case 3:
      t.fault = "drop";
      t.simArgs = {"--drop-answer", std::to_string(2 + Rng() % (lastFrame - 1))};
      t.expected = ExitStatus::MissingAnswer;
      break;
    case 4:
      t.fault = "hangup";
      t.simArgs = {"--hangup-after", std::to_string(2 + Rng() % (lastFrame - 1))};
      t.expected = ExitStatus::ConnectionLost;
      break;
    default:
      t.fault = "slow";
      t.simArgs = {"--flash-delay", std::to_string(1 + Rng() % 10)};
      break;
  }
  return t;
}

}  // namespace soak
