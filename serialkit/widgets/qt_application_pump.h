#pragma once
// Has Qt's event loop serve the platform application's queue of the GUI thread: the posted
// messages and calls, the synchronized calls of the port's workers and the timers all run in
// Qt's loop, and a host's own message processing (the loader's turns) maps onto Qt here.
#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "serialkit/platform/application.h"

namespace sk::widgets {

class QtApplicationPump : public QObject {
  Q_OBJECT

 public:
  // Serves App's queue of the calling thread, which must be the thread of Qt's event loop.
  explicit QtApplicationPump(platform::TApplication& App = platform::Application(),
                             QObject* Parent = nullptr);
  ~QtApplicationPump() override;

  // While a host's loop runs (between its first call here and Qt's loop running on its own),
  // repaints and the calls given to PostForScreen are held to a wait that has gone
  // kQuietMs without being woken: a device that answers sooner is not held up by painting,
  // and one that takes longer leaves the time to paint. Such a wait runs the calls, and
  // paints if the last paint is kPaintIntervalMs old. Whatever has been held kPaintGapMs
  // goes anyway, in whatever loop runs, so the window keeps painting when the waits are short.
  static constexpr int kQuietMs = 4;
  static constexpr int kPaintIntervalMs = 20;
  static constexpr int kPaintGapMs = 40;

  // Serves what is pending now: Qt's events and the application's queue and due timers.
  void ProcessMessages();
  // Serves events as they come for at most TimeoutMs; returns early on WakeUp (one that
  // came while nobody waited ends the next wait at once).
  void ProcessMessagesWaiting(std::uint32_t TimeoutMs);
  // Ends the current (innermost) ProcessMessagesWaiting. Thread-safe.
  void WakeUp();
  // The host's loop has ended: what is held goes now (a picture taken next shows it all), and
  // nothing is held until the host calls again. Without it, that happens once Qt's own loop
  // runs.
  void HostLoopEnded();
  // Runs Fn on the GUI thread with the next paint, in posting order: work that only shows
  // something (a log line) goes with the paint instead of ahead of the host's next step.
  // Thread-safe.
  void PostForScreen(std::function<void()> Fn);

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  struct Hook;
  void Schedule();
  void Serve();
  qint64 SincePaintMs() const;
  // Whether a paint (or else a call for the screen) is held now.
  bool Holding(bool Paint) const;
  bool HeldAny();
  // Runs the calls for the screen and posts the held repaints again, as far as they are free.
  void ReleaseIfFree();
  void Quiet();
  void CheckHostLoop();
  void ArmGap();
  void EndServing();

  platform::TApplication& app_;
  const platform::TThreadID thread_;
  std::shared_ptr<Hook> hook_;
  std::atomic<bool> scheduled_{false};
  std::atomic<bool> woken_{false};
  QTimer nextTimer_;               // the application's next due timer
  QEventLoop* waiting_ = nullptr;  // the innermost wait, GUI thread only
  // GUI thread only: how deep inside ProcessMessages and waits; whether a host's loop runs;
  // whether the current wait has gone quiet; the paints held back, and when the last one
  // went through.
  int serving_ = 0;
  bool hostLoop_ = false;
  bool open_ = false;
  std::vector<QPointer<QWidget>> heldPaints_;
  int released_ = 0;  // held paints posted again, not yet served
  QElapsedTimer sincePaint_;
  QElapsedTimer heldSince_;  // since the oldest of what is held
  QTimer quiet_;             // opens the current wait
  QTimer gap_;               // lets what is held go once it has been held kPaintGapMs
  bool checkPosted_ = false;
  std::mutex screenMutex_;
  std::vector<std::function<void()>> forScreen_;
  bool screenScheduled_ = false;  // guarded by screenMutex_
};

}  // namespace sk::widgets
