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
  quiet_.setSingleShot(true);
  quiet_.setTimerType(Qt::PreciseTimer);
  connect(&quiet_, &QTimer::timeout, this, &QtApplicationPump::Quiet);
  gap_.setSingleShot(true);
  connect(&gap_, &QTimer::timeout, this, [this] {
    ReleaseIfFree();
    ArmGap();
  });
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

qint64 QtApplicationPump::SincePaintMs() const {
  return sincePaint_.isValid() ? sincePaint_.elapsed() : kPaintGapMs;
}

bool QtApplicationPump::Holding(bool Paint) const {
  if (!hostLoop_) return false;
  if (heldSince_.isValid() && heldSince_.elapsed() >= kPaintGapMs) return false;
  if (!open_) return true;
  return Paint && SincePaintMs() < kPaintIntervalMs;
}

void QtApplicationPump::ReleaseIfFree() {
  if (!Holding(false)) {
    std::vector<std::function<void()>> calls;
    {
      std::lock_guard lock(screenMutex_);
      calls.swap(forScreen_);
    }
    for (const std::function<void()>& call : calls) call();
  }
  // After the calls, so that the paint shows what they did. Posted now, they are served by
  // the next pass of the event loop, not this one.
  if (!Holding(true)) {
    for (const QPointer<QWidget>& widget : heldPaints_)
      if (widget) {  // Qt owns a posted event
        QCoreApplication::postEvent(widget, new QEvent(QEvent::UpdateRequest),
                                    Qt::LowEventPriority);
        ++released_;
      }
    heldPaints_.clear();
  }
  if (!HeldAny()) heldSince_.invalidate();
}

void QtApplicationPump::CheckHostLoop() {
  // Only Qt's own loop serves this outside the host's calls: the host's loop has ended.
  if (checkPosted_) return;
  checkPosted_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        checkPosted_ = false;
        if (serving_ > 0) return;  // the host's call that served it posts another if needed
        hostLoop_ = false;
        ReleaseIfFree();
      },
      Qt::QueuedConnection);
}

void QtApplicationPump::ArmGap() {
  if (!HeldAny()) return;
  if (!heldSince_.isValid()) heldSince_.start();
  // Whatever loop runs now (a modal dialog's too) lets what is held go after the gap.
  if (!gap_.isActive())
    gap_.start(static_cast<int>(std::max<qint64>(1, kPaintGapMs - heldSince_.elapsed())));
}

void QtApplicationPump::HostLoopEnded() {
  hostLoop_ = false;
  ReleaseIfFree();
  // The paints let go are posted; a picture is drawn from the controls, which hold it all now.
}

bool QtApplicationPump::HeldAny() {
  if (!heldPaints_.empty()) return true;
  std::lock_guard lock(screenMutex_);
  return !forScreen_.empty();
}

void QtApplicationPump::EndServing() {
  --serving_;
  if (serving_ == 0 && HeldAny()) CheckHostLoop();
}

void QtApplicationPump::ProcessMessages() {
  ++serving_;
  hostLoop_ = true;
  ReleaseIfFree();
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  Serve();
  EndServing();
}

bool QtApplicationPump::eventFilter(QObject* Watched, QEvent* Event) {
  // A widget window paints when its update request arrives; Qt asks again only once it has.
  if (Event->type() != QEvent::UpdateRequest || !Watched->isWidgetType()) return false;
  // Those let go are painted whatever comes meanwhile: held again, they would start over.
  if (released_ > 0 || !Holding(true)) {
    if (released_ > 0) --released_;
    sincePaint_.start();
    return false;
  }
  auto* widget = static_cast<QWidget*>(Watched);
  if (std::find(heldPaints_.begin(), heldPaints_.end(), widget) == heldPaints_.end())
    heldPaints_.emplace_back(widget);
  // Held between the host's calls (a control that repaints at once): nobody may serve it but
  // Qt's own loop.
  if (serving_ == 0) CheckHostLoop();
  ArmGap();
  return true;
}

void QtApplicationPump::PostForScreen(std::function<void()> Fn) {
  {
    std::lock_guard lock(screenMutex_);
    forScreen_.push_back(std::move(Fn));
    if (screenScheduled_) return;
    screenScheduled_ = true;
  }
  QMetaObject::invokeMethod(
      this,
      [this] {
        {
          std::lock_guard lock(screenMutex_);
          screenScheduled_ = false;
        }
        ReleaseIfFree();
        if (serving_ == 0 && HeldAny()) CheckHostLoop();
        ArmGap();
      },
      Qt::QueuedConnection);
}

void QtApplicationPump::Quiet() {
  // The device has not answered for a while: it is busy, and the screen's time has come.
  if (waiting_ == nullptr || woken_.load()) return;
  open_ = true;
  ReleaseIfFree();
}

void QtApplicationPump::ProcessMessagesWaiting(std::uint32_t TimeoutMs) {
  if (woken_.exchange(false)) return ProcessMessages();
  ++serving_;
  hostLoop_ = true;
  // A QEventLoop runs posted events as they come, which a processEvents that waits does not.
  QEventLoop loop;
  QTimer limit;
  limit.setSingleShot(true);
  limit.setTimerType(Qt::PreciseTimer);
  connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
  limit.start(static_cast<int>(std::min<std::uint32_t>(TimeoutMs, 0x7FFFFFFF)));
  QEventLoop* outer = waiting_;
  waiting_ = &loop;
  open_ = false;
  ReleaseIfFree();  // long unpainted: paint now, while the device works on the last frame
  quiet_.start(kQuietMs);
  // A WakeUp between the test above and exec() has queued its quit, which exec() runs.
  if (!woken_.load()) loop.exec();
  waiting_ = outer;
  open_ = false;
  if (waiting_)
    quiet_.start(kQuietMs);  // the outer wait goes on
  else
    quiet_.stop();
  woken_ = false;
  EndServing();
}

void QtApplicationPump::WakeUp() {
  woken_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (!waiting_) return;
        open_ = false;  // what comes with the answer waits for the next quiet moment
        waiting_->quit();
      },
      Qt::QueuedConnection);
}

}  // namespace sk::widgets
