#include "loader/status_panels.h"

#include <algorithm>

#include "loader/chunk_rule.h"

namespace bootshell::loader {

void StatusPanels::OpenFailed(int Attempts) {
  SetStatusPanel(0, "try connect " + std::to_string(Attempts));
}

void StatusPanels::HandshakeAnswered(std::uint32_t Ms) {
  SetStatusPanel(2, std::to_string(Ms));
}

void StatusPanels::ImageLoaded(const std::string& Name, std::int64_t Size, std::int64_t) {
  // The loader refuses images whose range would not fit.
  progressMax_ = int(Size - protocol::kChunkSize);
  SetProgressRange(0, progressMax_);
  SetProgressPosition(0);
  SetStatusPanel(1, "Loading file " + Name + " to Flash...");
}

void StatusPanels::BlockSent(std::int64_t Position, std::int64_t) {
  SetStatusPanel(2, std::to_string(Position));
}

void StatusPanels::BlockAcknowledged(std::int64_t Position, std::int64_t) {
  // A progress bar holds its position within its range.
  SetProgressPosition(int(std::clamp<std::int64_t>(Position, 0, progressMax_)));
}

void StatusPanels::ImageWritten(const std::string& Name) {
  SetStatusPanel(1, "File " + Name + " written");
}

void StatusPanels::StateChanged(std::int32_t State) {
  SetStatusPanel(4, std::to_string(State));
}

void StatusPanels::Totals(std::uint32_t Received, std::uint32_t Sent) {
  SetStatusPanel(5, "R " + std::to_string(Received));
  SetStatusPanel(6, "S " + std::to_string(Sent));
}

}  // namespace bootshell::loader
