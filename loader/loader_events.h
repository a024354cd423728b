#pragma once
// How the loader loop meets its front ends: LoaderHost serves the front end's messages for
// the loop and says which link is chosen; LoaderEvents hears what the loader did, in the
// loader's own terms. A window maps the events onto its status bar (StatusPanels does the
// mapping), a console prints them, a script acts on them.
#include <cstdint>
#include <string>

namespace bootshell::loader {

class LoaderHost {
 public:
  virtual ~LoaderHost() = default;
  // The chosen link kind (TLinkKind), read at every attempt to open the port.
  virtual int LinkKind() const = 0;
  // Serves the messages pending now and returns.
  virtual void ProcessMessages() = 0;
  // Serves the pending messages; when there are none, waits at most TimeoutMs for one or for
  // a WakeUp and serves what came. Returns as soon as something was served or woke it.
  virtual void ProcessMessagesWaiting(std::uint32_t TimeoutMs) = 0;
  // Ends the current ProcessMessagesWaiting at once; one that comes while none is waiting
  // ends the next at once. Thread-safe: answers arrive on a port worker.
  virtual void WakeUp() = 0;
};

// Every event runs on the loop's thread, except Answer and ConnectionLost, which run on the
// port's worker thread. None may throw. Positions are image read positions in bytes; cycles
// count from 1.
class LoaderEvents {
 public:
  virtual ~LoaderEvents() = default;
  // "Connect" has started a loop; the port is not open yet.
  virtual void Connecting() {}
  // The port did not open; Attempts failures so far in this connect phase.
  virtual void OpenFailed(int /*Attempts*/) {}
  virtual void PortOpened() {}
  // Milliseconds from the opening of the port to the handshake answer.
  virtual void HandshakeAnswered(std::uint32_t /*Ms*/) {}
  // Name is the file name without its directory.
  virtual void ImageLoaded(const std::string& /*Name*/, std::int64_t /*Size*/,
                           std::int64_t /*Cycles*/) {}
  // A data frame has gone; Position is just past the block it carried.
  virtual void BlockSent(std::int64_t /*Position*/, std::int64_t /*Cycle*/) {}
  virtual void BlockAcknowledged(std::int64_t /*Position*/, std::int64_t /*Cycle*/) {}
  virtual void ImageWritten(const std::string& /*Name*/) {}
  // At the start of a turn whose state differs from the previous turn's (the first turn too).
  virtual void StateChanged(std::int32_t /*State*/) {}
  // At the start of every turn: the port's byte totals since it last opened.
  virtual void Totals(std::uint32_t /*Received*/, std::uint32_t /*Sent*/) {}
  // A device answer, after the loader has taken its tag; Text as the log shows it.
  virtual void Answer(std::int32_t /*Tag*/, const std::string& /*Text*/) {}
  // The port closed without being asked to (the device or its line is gone).
  virtual void ConnectionLost() {}
  // An error that ended the loop (a file that can't be read, an image too short).
  virtual void LoopError(const std::string& /*Message*/) {}
};

}  // namespace bootshell::loader
