#pragma once
// One port's loader, as every front end runs it: the port and answer processor set up as on
// the main window, the loader's port over them, the loader loop and the hookup that brings the
// answers and a lost line to it. A front end serves the loop (LoaderHost), hears it
// (LoaderEvents) and presses its buttons: Connect, Send, Stop.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "boot/boot_components.h"
#include "boot/comm_loader_port.h"
#include "boot/loader_hookup.h"
#include "loader/firmware_loader.h"
#include "loader/loader_events.h"

namespace bootshell::boot {

class LoaderSession {
 public:
  // The port is named as BootComponents takes it. With Answers false no answer text is made
  // and Events.Answer is not called (the tag still reaches the loop).
  LoaderSession(loader::LoaderHost& Host, loader::LoaderEvents& Events,
                const std::string& PortName = kDefaultPortName, const std::string& LogFile = {},
                bool Answers = true);
  LoaderSession(const LoaderSession&) = delete;
  LoaderSession& operator=(const LoaderSession&) = delete;

  // Runs the loader loop until Stop or an error ends it (see FirmwareLoader::Connect).
  void Connect() { loader_.Connect(); }
  void Send(const std::string& Path) { loader_.Send(Path); }
  // Thread-safe.
  void Stop();
  // Watcher hears every event after the front end (a script, a benchmark's clock); none with
  // nullptr. Set it while no loop runs.
  void SetWatcher(loader::LoaderEvents* Watcher) { watcher_ = Watcher; }

  BootComponents& Components() { return components_; }
  const loader::FirmwareLoader& Loader() const { return loader_; }
  std::int32_t State() const { return loader_.LoaderState(); }
  // Why the last attempt to open the port failed (empty before one has), and how many have.
  const std::string& LastOpenError() const { return port_.LastOpenError(); }
  int FailedOpens() const { return port_.FailedOpens(); }
  // The port closed by itself since it last opened.
  bool Lost() const { return hookup_.Lost(); }
  // Held while an answer's tag is stored and Events.Answer runs: a front end that queues the
  // answers' lines and takes this to print them never misses the line of an answer that the
  // loop has already acted on.
  std::unique_lock<std::mutex> HoldAnswers() { return std::unique_lock(answerMutex_); }

 private:
  // The front end's events, then the watcher's.
  class Fanout : public loader::LoaderEvents {
   public:
    explicit Fanout(LoaderSession& Session) : s_(Session) {}
    void Connecting() override;
    void OpenFailed(int Attempts) override;
    void PortOpened() override;
    void HandshakeAnswered(std::uint32_t Ms) override;
    void ImageLoaded(const std::string& Name, std::int64_t Size, std::int64_t Cycles) override;
    void BlockSent(std::int64_t Position, std::int64_t Cycle) override;
    void BlockAcknowledged(std::int64_t Position, std::int64_t Cycle) override;
    void ImageWritten(const std::string& Name) override;
    void StateChanged(std::int32_t State) override;
    void Totals(std::uint32_t Received, std::uint32_t Sent) override;
    void Answer(std::int32_t Tag, const std::string& Text) override;
    void ConnectionLost() override;
    void LoopError(const std::string& Message) override;

   private:
    template <class Fn>
    void Both(Fn&& Call);
    LoaderSession& s_;
  };

  // The loop's own closings of the port are no loss.
  class SessionPort : public CommLoaderPort {
   public:
    SessionPort(sk::TskCustomComm& Comm, LoaderSession& Session)
        : CommLoaderPort(Comm), session_(Session) {}
    void SetActive(bool Value) override;

   private:
    LoaderSession& session_;  // its hookup exists before the loop can run
  };

  loader::LoaderEvents& events_;
  std::atomic<loader::LoaderEvents*> watcher_{nullptr};
  Fanout fanout_{*this};
  std::mutex answerMutex_;
  BootComponents components_;
  SessionPort port_;
  loader::FirmwareLoader loader_;
  LoaderHookup hookup_;  // destroyed first: closes the port, then lets go of it
};

}  // namespace bootshell::boot
