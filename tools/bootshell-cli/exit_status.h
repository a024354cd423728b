#pragma once
// The command-line loader's exit statuses: scripts tell the outcomes apart by them.
#include <array>
#include <string>
#include <string_view>

namespace bootshell::cli {

enum class ExitStatus : int {
  Written = 0,
  Failed = 1,          // an error that fits none of the others
  Usage = 2,           // bad arguments
  BadImage = 3,        // the image file cannot be read or is too short
  PortNotOpened = 4,   // the port did not open within the connect time-out
  NoHandshake = 5,     // the port opened but the device did not answer the handshake in time
  MissingAnswer = 6,   // an address or data frame was not acknowledged in time
  ConnectionLost = 7,  // the port closed itself (the device or cable went away)
  Interrupted = 130,   // SIGINT or SIGTERM
};

struct ExitStatusText {
  ExitStatus status;
  std::string_view meaning;
};

inline constexpr std::array<ExitStatusText, 9> kExitStatusTexts{{
    {ExitStatus::Written, "the image was written"},
    {ExitStatus::Failed, "another error (the message says which)"},
    {ExitStatus::Usage, "bad arguments"},
    {ExitStatus::BadImage,
     "the image file cannot be read, is not a file, or is shorter than 2048 bytes"},
    {ExitStatus::PortNotOpened, "the port did not open within --connect-timeout"},
    {ExitStatus::NoHandshake, "the device did not answer the handshake within --connect-timeout"},
    {ExitStatus::MissingAnswer,
     "an address or data frame was not acknowledged within --answer-timeout (the message names "
     "the state the loader waited in)"},
    {ExitStatus::ConnectionLost, "the connection was lost: the port closed itself"},
    {ExitStatus::Interrupted, "interrupted by SIGINT or SIGTERM"},
}};

constexpr int Code(ExitStatus s) {
  return static_cast<int>(s);
}

// The word for an exit status in the record store's result column and the summary table:
// written, no-handshake, ...
inline std::string ResultName(ExitStatus Status) {
  switch (Status) {
    case ExitStatus::Written:
      return "written";
    case ExitStatus::Usage:
      return "usage";
    case ExitStatus::BadImage:
      return "bad-image";
    case ExitStatus::PortNotOpened:
      return "port-not-opened";
    case ExitStatus::NoHandshake:
      return "no-handshake";
    case ExitStatus::MissingAnswer:
      return "missing-answer";
    case ExitStatus::ConnectionLost:
      return "connection-lost";
    case ExitStatus::Interrupted:
      return "interrupted";
    case ExitStatus::Failed:
      break;
  }
  return "failed";
}

}  // namespace bootshell::cli
