#pragma once
// What the processor-chain tests share: a device whose notifications and sends the test
// drives and sees, a log that records its lines, a processor that opens its protected parts,
// a recorder of reported packets, and the device's answers as packet definitions.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "serialkit/comm/base_io.h"
#include "serialkit/comm/timer.h"
#include "serialkit/dataproc/data_processor.h"
#include "serialkit/log/custom_log_file.h"
#include "serialkit/log/log_format.h"
#include "serialkit/platform/application.h"
#include "support/eventually.h"
#include "support/recording_log.h"

namespace chaintest {

using namespace std::chrono_literals;

inline const sk::Byte* Ptr(const std::string& s) {
  return reinterpret_cast<const sk::Byte*>(s.data());
}
inline std::uint32_t Len(const std::string& s) {
  return static_cast<std::uint32_t>(s.size());
}

// "answerB<n>" + payload + "answerE<n>", as the device frames its answers.
inline std::string Answer(const std::string& n, const std::string& payload) {
  return "answerB" + n + payload + "answerE" + n;
}

// A device without a system handle: the test sends its notifications and sees its sends.
class TestDevice : public sk::TskBaseIO {
 public:
  using TskBaseIO::TskBaseIO;
  ~TestDevice() override { BeginDestroy(); }
  void Notify(std::int32_t Code) { DoNotify(Code); }
  void SendChar(char16_t) override {}
  void SendString(const sk::ByteString& S) override {
    std::lock_guard lock(mutex_);
    strings_.push_back(sk::ToText(S));
  }
  void SendData(const sk::Byte* Buff, std::uint32_t N) override {
    std::lock_guard lock(mutex_);
    data_.emplace_back(reinterpret_cast<const char*>(Buff), N);
  }
  void ClearDeviceInput() override {}
  void ClearDeviceOutput() override {}
  void ClearDeviceBuffers() override {}
  std::vector<std::string> Data() const {
    std::lock_guard lock(mutex_);
    return data_;
  }
  std::vector<std::string> Strings() const {
    std::lock_guard lock(mutex_);
    return strings_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> data_;
  std::vector<std::string> strings_;
};

using testsupport::RecordingLog;

// A processor whose parts for descendants the tests reach.
class OpenProcessor : public sk::TskDataProcessor {
 public:
  using TskDataProcessor::AsyncTimer;
  using TskDataProcessor::DoAsyncTimeout;
  using TskDataProcessor::DoDataSend;
  using TskDataProcessor::DoStringSend;
  using TskDataProcessor::flSkipFurtherProcessing;
  using TskDataProcessor::SetOnDataSend;
  using TskDataProcessor::StartAsyncTimer;
  using TskDataProcessor::TskDataProcessor;
  bool TimerArmed() const { return AsyncTimer() != nullptr && AsyncTimer()->Enabled(); }
  void DoAfterSendComplete(bool& flIgnore) override {
    ++afterSendComplete;
    TskDataProcessor::DoAfterSendComplete(flIgnore);
  }
  std::atomic<int> afterSendComplete{0};
};

struct Reported {
  std::string who;
  std::int32_t tag;
  std::string data;
  sk::platform::TThreadID thread;
};

// Records the packets that processors report, in the order of reporting.
class PacketJournal {
 public:
  sk::TskDataPacketEvent For(const std::string& Who) {
    return sk::TskDataPacketEvent::Bind(this, [this, Who](sk::TObject*, sk::TskDataPacket* P) {
      std::lock_guard lock(mutex_);
      reported_.push_back({Who, P->Tag(), sk::ToText(P->Data()), sk::platform::CurrentThreadId()});
    });
  }
  std::vector<Reported> Get() const {
    std::lock_guard lock(mutex_);
    return reported_;
  }
  std::size_t Count() const {
    std::lock_guard lock(mutex_);
    return reported_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Reported> reported_;
};

// The definitions "answerB<n>" .. "answerE<n>" with Tag n, for each n given.
inline void AddAnswers(sk::TskDataProtocol& P, std::initializer_list<int> Tags) {
  for (int n : Tags) {
    sk::TskDataPacket& d = P.DataPackets().Add();
    d.SetPacketBegin(sk::ToBytes("answerB" + std::to_string(n)));
    d.SetPacketEnd(sk::ToBytes("answerE" + std::to_string(n)));
    d.SetTag(n);
  }
}

using testsupport::ServeUntil;

}  // namespace chaintest
