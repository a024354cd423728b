#include "serialkit/widgets/qt_application_pump.h"

#include <QCoreApplication>
#include <QEvent>

#include <algorithm>

#include <mutex>

namespace sk::widgets {

// The application calls its hook from any thread and may do so while the pump is being
// destroyed; the pump is reached only under this lock.
struct QtApplicationPump::Hook {
  std::mutex mutex;
  QtApplicationPump* pump = nullptr;
};

QtApplicationPump::QtApplicationPump(platform::TApplication& App, QObject* Parent)
    : QObject(Parent),
      app_(App),
      thread_(platform::CurrentThreadId()),
      hook_(std::make_shared<Hook>()) {
  app_.EnsureMessageQueue();
  nextTimer_.setSingleShot(true);
  nextTimer_.setTimerType(Qt::PreciseTimer);
  connect(&nextTimer_, &QTimer::timeout, this, &QtApplicationPump::Serve);
  hook_->pump = this;
  app_.SetPostedHook([hook = hook_, thread = thread_](platform::TThreadID Thread) {
    if (Thread != thread) return;
    std::lock_guard lock(hook->mutex);
    if (hook->pump) hook->pump->Schedule();
  });
  Schedule();  // whatever was queued before the pump existed
  QCoreApplication::instance()->installEventFilter(this);
}

QtApplicationPump::~QtApplicationPump() {
  app_.SetPostedHook({});
  std::lock_guard lock(hook_->mutex);
  hook_->pump = nullptr;
}

void QtApplicationPump::Schedule() {
  // One serving queued at a time; whatever comes in the meantime is served by it.
  if (scheduled_.exchange(true)) return;
  QMetaObject::invokeMethod(this, &QtApplicationPump::Serve, Qt::QueuedConnection);
}

void QtApplicationPump::Serve() {
  scheduled_ = false;
  app_.ProcessMessages();
  const std::uint32_t next = app_.MillisecondsToNextTimer(thread_);
  if (next == platform::kInfinite)
    nextTimer_.stop();
  else
    nextTimer_.start(static_cast<int>(std::min<std::uint32_t>(next, 0x7FFFFFFF)));
}

void QtApplicationPump::ProcessMessages() {
  holdPaints_ = sincePaint_.isValid() && sincePaint_.elapsed() < kPaintIntervalMs;
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  holdPaints_ = false;
  ReleaseHeldPaints();
  Serve();
}

bool QtApplicationPump::eventFilter(QObject* Watched, QEvent* Event) {
  // A widget window paints when its update request arrives; Qt asks again only once it has.
  if (Event->type() != QEvent::UpdateRequest || !Watched->isWidgetType()) return false;
  if (!holdPaints_) {
    sincePaint_.start();
    return false;
  }
  auto* widget = static_cast<QWidget*>(Watched);
  if (std::find(heldPaints_.begin(), heldPaints_.end(), widget) == heldPaints_.end())
    heldPaints_.emplace_back(widget);
  return true;
}

void QtApplicationPump::ReleaseHeldPaints() {
  // Posted now, they are served by the next pass of the event loop, not this one.
  for (const QPointer<QWidget>& widget : heldPaints_)
    if (widget)  // Qt owns a posted event
      QCoreApplication::postEvent(widget, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
  heldPaints_.clear();
}

void QtApplicationPump::ProcessMessagesWaiting(std::uint32_t TimeoutMs) {
  if (woken_.exchange(false)) return ProcessMessages();
  // A QEventLoop runs posted events as they come, which a processEvents that waits does not.
  QEventLoop loop;
  QTimer limit;
  limit.setSingleShot(true);
  limit.setTimerType(Qt::PreciseTimer);
  connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
  limit.start(static_cast<int>(std::min<std::uint32_t>(TimeoutMs, 0x7FFFFFFF)));
  QEventLoop* outer = waiting_;
  waiting_ = &loop;
  // A WakeUp between the test above and exec() has queued its quit, which exec() runs.
  if (!woken_.load()) loop.exec();
  waiting_ = outer;
  woken_ = false;
}

void QtApplicationPump::WakeUp() {
  woken_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (waiting_) waiting_->quit();
      },
      Qt::QueuedConnection);
}

}  // namespace sk::widgets
