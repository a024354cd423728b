#pragma once
// A main window of its own per test, with a port map of its own (the window's port is COM3),
// the error report recorded instead of shown, and waits that serve Qt's events.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/form3.h"
#include "serialkit/platform/application.h"
#include "support/eventually.h"
#include "support/scratch_dir.h"

namespace apptest {

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SK_PORTMAP_DIR", (scratch_.Path() / "ports").c_str(), 1);
    // Only the test's own ports: none of the machine's.
    ::setenv("SK_SYSFS_ROOT", (scratch_.Path() / "sys").c_str(), 1);
    ::setenv("SK_NO_UDEV", "1", 1);
    sk::platform::Application().SetErrorReport([this](const std::string& Message) {
      std::lock_guard lock(errorsMutex_);
      errors_.push_back(Message);
    });
    form_ = std::make_unique<bootshell::app::TForm3>();
    form_->show();
  }
  void TearDown() override {
    form_.reset();
    sk::platform::Application().SetErrorReport({});
    for (const char* name : {"SK_PORTMAP_DIR", "SK_SYSFS_ROOT", "SK_NO_UDEV"}) ::unsetenv(name);
  }

  template <class T = QWidget>
  T* Find(const char* Name) const {
    T* control = form_->findChild<T*>(QString::fromLatin1(Name));
    if (!control) ADD_FAILURE() << "no control named " << Name;
    return control;
  }
  void Click(const char* Name) { QTest::mouseClick(Find<QAbstractButton>(Name), Qt::LeftButton); }
  QString Panel(int Index) const {
    return Find<bootshell::app::StatusBar>("StatusBar1")->PanelText(Index);
  }
  QStringList MemoLines() const {
    return Find<QPlainTextEdit>("Memo1")->toPlainText().split(QChar('\n'));
  }
  std::vector<std::string> Errors() {
    std::lock_guard lock(errorsMutex_);
    return errors_;
  }

  // Serves Qt's events until Done holds or TimeoutMs has passed; whether it held.
  static bool WaitFor(const std::function<bool()>& Done, int TimeoutMs = 20000) {
    return testsupport::Eventually(Done, std::chrono::milliseconds(TimeoutMs), [] {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    });
  }

  testsupport::ScratchDir scratch_;
  std::unique_ptr<bootshell::app::TForm3> form_;
  std::mutex errorsMutex_;
  std::vector<std::string> errors_;
};

// The operator's hands while "Connect" runs its loop: each step is tried on every tick until
// it returns true, then the next one. Past the deadline it presses "Exit" so that the test
// ends; Finished() tells whether every step got done.
class Operator {
 public:
  using Step = std::function<bool()>;
  Operator(bootshell::app::TForm3& Form, std::vector<Step> Steps, int DeadlineMs = 30000)
      : form_(Form), steps_(std::move(Steps)), deadlineMs_(DeadlineMs) {
    clock_.start();
    timer_.setInterval(2);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start();
  }
  bool Finished() const { return next_ == steps_.size(); }
  std::size_t StepsDone() const { return next_; }

 private:
  void Tick() {
    if (Finished()) return;
    if (clock_.elapsed() > deadlineMs_) {
      timer_.stop();
      form_.Button2Click();
      return;
    }
    if (busy_) return;  // a step that runs a loop of its own ticks inside it
    busy_ = true;
    if (steps_[next_]()) ++next_;
    busy_ = false;
  }

  bootshell::app::TForm3& form_;
  std::vector<Step> steps_;
  std::size_t next_ = 0;
  int deadlineMs_;
  bool busy_ = false;
  QElapsedTimer clock_;
  QTimer timer_;
};

}  // namespace apptest
