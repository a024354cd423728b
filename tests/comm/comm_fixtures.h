#pragma once
// What the port tests share: a log that records its lines, subscribers and controls that
// record what the port does to them, ports on pseudo-terminals entered in a port map of
// their own, and a port that opens a scriptable fake device.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "serialkit/comm/data_processor_link.h"
#include "serialkit/comm/serial_comm.h"
#include "serialkit/log/custom_log_file.h"
#include "serialkit/log/log_format.h"
#include "serialkit/platform/port_map.h"
#include "serialkit/platform/system_error.h"
#include "serialkit/testing/fake_serial_device.h"
#include "serialkit/testing/pseudo_terminal.h"
#include "support/eventually.h"
#include "support/fake_comm.h"
#include "support/recording_log.h"
#include "support/scratch_dir.h"

namespace sktest {

// The system's text for Code as a port's error message carries it: without the trailing full
// stop and line end that some systems' texts have.
inline std::string ShownSystemText(std::uint32_t Code) {
  std::string text = sk::platform::SystemErrorText(Code);
  while (!text.empty() &&
         (text.back() == '.' || text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
    text.pop_back();
  return text;
}

using Bytes = std::vector<std::uint8_t>;

using testsupport::Eventually;
using testsupport::RecordingLog;

// A notify-list subscriber that records the codes it hears.
class NotifyRecorder {
 public:
  void Heard(sk::TObject*, std::int32_t Code) {
    std::lock_guard lock(mutex_);
    codes_.push_back(Code);
  }
  sk::TskNotifyEvent Event() { return sk::TskNotifyEvent(this, &NotifyRecorder::Heard); }
  std::vector<int> Codes() const {
    std::lock_guard lock(mutex_);
    return codes_;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    codes_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<int> codes_;
};

// A check box: the kind of control the monitor properties drive.
class CheckBox : public sk::TComponent, public sk::TCheckedControl {
 public:
  using TComponent::TComponent;
  bool Checked() const override { return checked_; }
  void SetChecked(bool Value) override { checked_ = Value; }

 private:
  bool checked_ = false;
};

// An edit control as a terminal: typed characters go through the port's key filter.
class EditTerminal : public sk::TskTerminalControl {
 public:
  using TskTerminalControl::TskTerminalControl;
  ~EditTerminal() override { BeginDestroy(); }
  void SetKeyFilter(TKeyFilter Filter) override { filter_ = std::move(Filter); }
  void WriteChar(char16_t Ch) override { text_.push_back(Ch); }
  void ReplaceSelection(const std::u16string& Text) override { text_ += Text; }
  // The operator types Ch: shown unless the filter keeps it back.
  void Type(char16_t Ch) {
    if (!filter_ || filter_(Ch)) text_.push_back(Ch);
  }
  bool Filtered() const { return static_cast<bool>(filter_); }
  const std::u16string& Text() const { return text_; }

 private:
  TKeyFilter filter_;
  std::u16string text_;
};

// A data processor as the port sees it: records what it is handed.
class RecordingProcessor : public sk::TskDataProcessorLink {
 public:
  using TskDataProcessorLink::TskDataProcessorLink;
  ~RecordingProcessor() override {
    BeginDestroy();
    SetDevice(nullptr);
  }
  void SetDevice(sk::TskBaseIO* Value) override {
    if (device_ != nullptr) device_->NotifyDelete(Event());
    device_ = Value;
    if (device_ != nullptr) device_->NotifyAdd(Event());
    ++setDeviceCalls;
  }
  void DoProcessing(const sk::Byte* Data, std::uint32_t Len, sk::TIgnoreTypes& R) override {
    received.insert(received.end(), Data, Data + Len);
    R = ignore;
  }
  void DoAfterSendComplete(bool& flIgnore) override { flIgnore = true; }

  sk::TskBaseIO* Device() const { return device_; }
  void Heard(sk::TObject*, std::int32_t Code) { codes.push_back(Code); }
  sk::TskNotifyEvent Event() { return sk::TskNotifyEvent(this, &RecordingProcessor::Heard); }

  int setDeviceCalls = 0;
  std::vector<int> codes;
  Bytes received;
  sk::TIgnoreTypes ignore = 0;

 private:
  sk::TskBaseIO* device_ = nullptr;
};

using testsupport::FakeComm;

// The fake's journal without the event worker's waits, which come whenever that thread runs.
inline std::vector<std::string> JournalOfCalls(const sk::platform::FakeSerialDevice& Fake) {
  auto j = Fake.Journal();
  j.erase(std::remove(j.begin(), j.end(), "WaitCommEvent"), j.end());
  return j;
}

// The system's codes for a port name that names nothing and for a port another handle has open.
#ifdef _WIN32
inline constexpr std::uint32_t kNoSuchPort = 2;  // ERROR_FILE_NOT_FOUND
inline constexpr std::uint32_t kPortInUse = 5;   // ERROR_ACCESS_DENIED
#else
inline constexpr std::uint32_t kNoSuchPort = ENOENT;
inline constexpr std::uint32_t kPortInUse = EBUSY;
#endif

// The port numbers that the cases below enter, each for one case. On Windows the test stage
// links a pair of ports for each number in this list, which it reads from here
// (scripts/windows-test.sh): a case that takes a new number adds it here.
inline constexpr std::uint32_t kPtyPortNumbers[] = {51, 52, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70,
                                                    71, 72, 73, 81, 82, 83, 84, 85, 87, 88, 89};

// Pseudo-terminals entered as COM ports in a port map of this test's own.
class PtyPorts : public ::testing::Test {
 protected:
#ifndef _WIN32
  void SetUp() override {
    ::setenv("SK_PORTMAP_DIR", (dir / "ports").c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("SK_PORTMAP_DIR");
  }
#endif

  // A new pseudo-terminal entered as COM<PortNo>. Windows has no port map a test can add to:
  // there the test stage links COM<PortNo> back to back with COM<PortNo + 100> for each number
  // these cases use (scripts/windows-test.sh), and the stand-in takes that pair, which no other
  // program's stand-in takes.
  sk::platform::PseudoTerminal& AddPort(std::uint32_t PortNo) {
    EXPECT_NE(std::ranges::find(kPtyPortNumbers, PortNo), std::end(kPtyPortNumbers))
        << "COM" << PortNo << " is not in kPtyPortNumbers: the Windows stage has no pair for it";
#ifdef _WIN32
    const auto pair = "COM" + std::to_string(PortNo + 100) + ":COM" + std::to_string(PortNo);
    ::_putenv_s("SK_TEST_PTY_PAIRS", pair.c_str());
    ptys.push_back(std::make_unique<sk::platform::PseudoTerminal>());
#else
    ptys.push_back(std::make_unique<sk::platform::PseudoTerminal>());
    EXPECT_TRUE(sk::platform::PortMap().AddOverride(PortNo, ptys.back()->SlavePath()));
#endif
    return *ptys.back();
  }

  testsupport::ScratchDir dir;
  std::vector<std::unique_ptr<sk::platform::PseudoTerminal>> ptys;
};

}  // namespace sktest
