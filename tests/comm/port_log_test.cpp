// The port's log lines: whose prefix they carry, and a sink that fails.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "comm/comm_fixtures.h"
#include "comm/worker_fixtures.h"

namespace {

using namespace sk;
using sktest::ChunkProcessor;
using sktest::ErrorReports;
using sktest::FakeComm;
using sktest::NotifyRecorder;
using sktest::RecordingLog;

// A port class of a program's own, without a prefix of its own.
class ProgramPort : public TskCustomComm {
 public:
  using TskCustomComm::TskCustomComm;
  ~ProgramPort() override { Shutdown(); }
  std::string ClassName() const override { return "ProgramPort"; }
};

TEST(PortLog, LinesBeginWithThePrefixOfTheConcreteClass) {
  struct Case {
    std::unique_ptr<TskBaseIO> port;
    std::string line;
  };
  Case cases[] = {{std::make_unique<ProgramPort>(), "0 ProgramPorthello"},
                  {std::make_unique<TskCustomComm>(), "0 TskCustomCommhello"},
                  {std::make_unique<TskComm>(), "0 skComm: hello"}};
  for (auto& c : cases) {
    RecordingLog log;
    c.port->SetLog(&log);
    c.port->WriteLog(dlSimple, "hello");
    c.port->WriteLogFmt(dlSimple, "%s", "hello");
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{c.line, c.line}));
    c.port->SetLog(nullptr);
  }
}

// A sink whose every save fails, with nobody to clear RaiseException: each entry throws.
class FailingLog : public TskCustomLogFile {
 public:
  using TskCustomLogFile::TskCustomLogFile;
  ~FailingLog() override { BeginDestroy(); }
  void Save() override { ReportFatalError(3, 28, "cannot save the log"); }
  void Clear() override {}
  void Add(std::string) override { Save(); }
  void AddSysInfo() override { Save(); }
  void AddLog(TDetailLevel, const std::string&) override { Save(); }
  void AddFmt(const std::string&, const TLogArgs&) override { Save(); }
  void AddLogFmt(TDetailLevel, const std::string&, const TLogArgs&) override { Save(); }
};

class PortWithFailingLog : public ::testing::Test {
 protected:
  void SetUp() override {
    com.SetUseMainThread(false);
    com.SetDataProcessor(&processor);
    com.SetComPortNo(7);
    com.NotifyAdd(heard.Event());
  }
  std::size_t Chunks() {
    return processor.seen.Read([&] { return processor.chunks.size(); });
  }

  ErrorReports reports;
  NotifyRecorder heard;
  TComponent owner;
  FailingLog& log = TComponent::Create<FailingLog>(owner);
  ChunkProcessor& processor = TComponent::Create<ChunkProcessor>(owner);
  FakeComm& com = TComponent::Create<FakeComm>(owner);
};

TEST_F(PortWithFailingLog, OpensWhole) {
  com.SetLog(&log);
  ASSERT_NO_THROW(com.SetActive(true));
  ASSERT_TRUE(com.Active());
  EXPECT_EQ(heard.Codes(), std::vector<int>{2});
  EXPECT_EQ(com.Last()->Calls(platform::FakeSerialDevice::Op::SetupComm), 1);
  com.Last()->ReceiveBytes({'o', 'k'});
  EXPECT_TRUE(processor.seen.Until([&] { return !processor.chunks.empty(); }));
}

TEST_F(PortWithFailingLog, KeepsReceivingAndTellsTheErrorReportOnce) {
  ASSERT_NO_THROW(com.SetActive(true));
  com.SetLog(&log);
  for (std::size_t burst = 1; burst <= 3; ++burst) {
    com.Last()->ReceiveBytes({'a', 'b', 'c'});
    ASSERT_TRUE(processor.seen.Until([&] { return processor.chunks.size() == burst; }))
        << "burst " << burst;
  }
  EXPECT_TRUE(com.Active());
  com.SetActive(false);
  reports.seen.Read(
      [&] { EXPECT_EQ(reports.messages, std::vector<std::string>{"cannot save the log"}); });
}

TEST_F(PortWithFailingLog, SendsWithoutThrowing) {
  ASSERT_NO_THROW(com.SetActive(true));
  com.SetLog(&log);
  const Byte block[3] = {1, 2, 3};
  EXPECT_NO_THROW(com.SendChar('x'));
  EXPECT_NO_THROW(com.SendString(ToBytes("yz")));
  EXPECT_NO_THROW(com.SendData(block, 3));
  EXPECT_EQ(com.Last()->Written(), (std::vector<std::uint8_t>{'x', 'y', 'z', 1, 2, 3}));
  EXPECT_EQ(com.TotalSent(), 6u);
}

TEST_F(PortWithFailingLog, AFailedOpenStillThrowsItsOwnError) {
  com.SetLog(&log);
  com.openError = ENOENT;
  try {
    com.SetActive(true);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()),
              "Device \"COM7\" Open Error !!!\r" + sktest::ShownSystemText(ENOENT));
  }
  reports.seen.Read(
      [&] { EXPECT_EQ(reports.messages, std::vector<std::string>{"cannot save the log"}); });
}

TEST(PortHandlers, ExceptionsOfOpenAndCloseHandlersGoToTheErrorReportWithTheirText) {
  ErrorReports reports;
  FakeComm com;
  com.SetOnOpen(TNotifyEvent::Bind(&com, [](TObject*) { throw Exception("open handler"); }));
  com.SetOnClose(TNotifyEvent::Bind(&com, [](TObject*) { throw Exception("close handler"); }));
  com.SetActive(true);
  com.SetActive(false);
  reports.seen.Read([&] {
    EXPECT_EQ(reports.messages, (std::vector<std::string>{"open handler", "close handler"}));
  });
}

}  // namespace
