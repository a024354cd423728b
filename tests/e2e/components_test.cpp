// The port and the answer processor as the loader sets them up, in this process, with a real
// pseudo-terminal and a device on its far end: cases a whole transfer cannot show.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "boot/boot_components.h"
#include "serialkit/core/component.h"
#include "loader/frames.h"
#include "serialkit/platform/application.h"
#include "serialkit/testing/pseudo_terminal.h"
#include "support/sim_process.h"

namespace e2e {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

Bytes Text(const std::string& S) {
  return Bytes(S.begin(), S.end());
}

// Collects what the port's worker reports, for the test thread to wait on.
class Recorder {
 public:
  struct Packet {
    std::int32_t tag;
    std::string data;
  };
  void Add(Packet P) {
    std::lock_guard lock(mutex_);
    packets_.push_back(std::move(P));
    changed_.notify_all();
  }
  void Report(std::string Message) {
    std::lock_guard lock(mutex_);
    reports_.push_back(std::move(Message));
    changed_.notify_all();
  }
  // Waits (generously) until a packet with Tag has come; false if none did.
  bool WaitFor(std::int32_t Tag) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 30s, [&] {
      for (const auto& p : packets_)
        if (p.tag == Tag) return true;
      return false;
    });
  }
  bool WaitForReport() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 30s, [&] { return !reports_.empty(); });
  }
  std::vector<Packet> Packets() {
    std::lock_guard lock(mutex_);
    return packets_;
  }
  std::vector<std::string> Reports() {
    std::lock_guard lock(mutex_);
    return reports_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Packet> packets_;
  std::vector<std::string> reports_;
};

class BootPort : public ::testing::Test {
 protected:
  void SetUp() override {
    bootshell::boot::ConfigureBootPort(comm_);
    bootshell::boot::ConfigureAnswerProcessor(processor_);
    comm_.SetDataProcessor(&processor_);
    sk::platform::Application().SetErrorReport(
        [this](const std::string& m) { recorder_.Report(m); });
  }
  void TearDown() override {
    comm_.SetActive(false);
    sk::platform::Application().SetErrorReport({});
  }
  // Records every packet; Throw makes the handler fail for that tag.
  void Record(std::int32_t ThrowFor = -1) {
    processor_.SetOnDataPacket(
        sk::TskDataPacketEvent::Bind(this, [this, ThrowFor](sk::TObject*, sk::TskDataPacket* p) {
          recorder_.Add({p->Tag(), sk::ToText(p->Data())});
          if (p->Tag() == ThrowFor) throw sk::Exception("handler failed");
        }));
  }
  void Open(const std::string& Path) {
    comm_.SetDevicePath(Path);
    comm_.SetActive(true);
    ASSERT_TRUE(comm_.Active());
  }
  void SendHandshake() {
    for (auto b : bootshell::protocol::HandshakeFrame()) comm_.SendChar(b);
  }

  Recorder recorder_;
  sk::TComponent root_;
  sk::TskComm& comm_ = sk::TComponent::Create<sk::TskComm>(root_);
  sk::TskDataProcessor& processor_ = sk::TComponent::Create<sk::TskDataProcessor>(root_);
};

TEST_F(BootPort, AnswerLongerThanThePacketBufferKeepsItsTailAndTheNextAnswerIsWhole) {
  sk::platform::PseudoTerminal device;
  Record();
  Open(device.SlavePath());
  const std::size_t payload = 40000;  // beyond the packet buffer and the read buffer
  Bytes burst = Text("answerB3");
  burst.insert(burst.end(), payload, 'x');
  for (const char* tail : {"answerE3", "answerB2next answerE2"})
    burst.insert(burst.end(), tail, tail + std::char_traits<char>::length(tail));
  ASSERT_TRUE(device.Write(burst));

  ASSERT_TRUE(recorder_.WaitFor(2));
  const auto packets = recorder_.Packets();
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(packets[0].tag, 3);
  const std::string& tail = packets[0].data;
  EXPECT_LT(tail.size(), payload) << "what overflowed the buffer was discarded";
  EXPECT_EQ(tail.find("answerB3"), std::string::npos);
  EXPECT_EQ(tail.substr(tail.size() - 8), "answerE3");
  EXPECT_EQ(tail.find_first_not_of('x'), tail.size() - 8);
  EXPECT_EQ(packets[1].tag, 2);
  EXPECT_EQ(packets[1].data, "answerB2next answerE2");
  EXPECT_TRUE(comm_.Active());
  EXPECT_TRUE(recorder_.Reports().empty());
}

// The device's answers come from the simulator. Its greeting on open is not relied upon: bytes
// that arrive before the port has told the processor that it opened are not examined.
TEST_F(BootPort, ThrowingAnswerHandlerIsReportedByThePortWhichGoesOnReceiving) {
  testsupport::SimProcess sim({});
  Record(/*ThrowFor=*/0);
  Open(sim.TtyPath());
  SendHandshake();
  ASSERT_TRUE(recorder_.WaitForReport());
  const auto reports = recorder_.Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0], "EXCEPTION in DataPacket handler [TskDataPacket]handler failed");

  for (auto b : bootshell::protocol::AddressFrame(0x08002000)) comm_.SendChar(b);
  EXPECT_TRUE(recorder_.WaitFor(3)) << "the port's worker survived the failure";
  EXPECT_TRUE(comm_.Active());
}

TEST_F(BootPort, FatalErrorHandlerThatStopsTheExceptionKeepsProcessingWithoutAReport) {
  testsupport::SimProcess sim({});
  Record(/*ThrowFor=*/0);
  std::vector<std::string> fatal;  // written in the port's worker
  std::mutex fatalMutex;
  processor_.SetOnFatalError(
      sk::TOnFatalErrorEvent::Bind(this, [&](sk::TObject*, std::uint32_t Code, std::uint32_t Detail,
                                             const std::string& Msg, bool& Raise) {
        std::lock_guard lock(fatalMutex);
        fatal.push_back(std::to_string(Code) + " " + std::to_string(Detail) + " " + Msg);
        Raise = false;
      }));
  Open(sim.TtyPath());
  SendHandshake();
  ASSERT_TRUE(recorder_.WaitFor(0));
  // The completed definition was reset as usual: the next answer of its kind comes whole.
  SendHandshake();
  for (auto b : bootshell::protocol::AddressFrame(0x08002000)) comm_.SendChar(b);
  ASSERT_TRUE(recorder_.WaitFor(3));
  std::vector<std::string> handshakeAnswers;
  for (const auto& p : recorder_.Packets())
    if (p.tag == 0) handshakeAnswers.push_back(p.data);
  ASSERT_EQ(handshakeAnswers.size(), 2u);
  EXPECT_EQ(handshakeAnswers[0], handshakeAnswers[1]);
  EXPECT_EQ(handshakeAnswers[1].rfind("answerB0", 0), 0u);
  std::lock_guard lock(fatalMutex);
  ASSERT_EQ(fatal.size(), 2u);
  EXPECT_EQ(fatal[0], "15 1 EXCEPTION in DataPacket handler [TskDataPacket]handler failed");
  EXPECT_TRUE(recorder_.Reports().empty());
}

}  // namespace
}  // namespace e2e
