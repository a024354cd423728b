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
#include <memory>
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

  // Serves what is pending now: Qt's events and the application's queue and due timers.
  // Repaints are held back to the next wait while the last one is less than kPaintIntervalMs
  // old, so that a turn that does not wait (an answer taken, the next frame to send) is not
  // held up by painting; the wait paints them while the device works.
  void ProcessMessages();
  static constexpr int kPaintIntervalMs = 40;
  // Serves events as they come for at most TimeoutMs; returns early on WakeUp (one that
  // came while nobody waited ends the next wait at once).
  void ProcessMessagesWaiting(std::uint32_t TimeoutMs);
  // Ends the current (innermost) ProcessMessagesWaiting. Thread-safe.
  void WakeUp();

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  struct Hook;
  void Schedule();
  void Serve();
  void ReleaseHeldPaints();

  platform::TApplication& app_;
  const platform::TThreadID thread_;
  std::shared_ptr<Hook> hook_;
  std::atomic<bool> scheduled_{false};
  std::atomic<bool> woken_{false};
  QTimer nextTimer_;               // the application's next due timer
  QEventLoop* waiting_ = nullptr;  // the innermost wait, GUI thread only
  // GUI thread only: the paints ProcessMessages holds back, and when the last one went through.
  bool holdPaints_ = false;
  std::vector<QPointer<QWidget>> heldPaints_;
  QElapsedTimer sincePaint_;
};

}  // namespace sk::widgets
