// The processors' lines in a real log file.
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "chain_fixtures.h"
#include "serialkit/log/log_file.h"
#include "support/scratch_dir.h"

namespace {

using namespace sk;
using namespace chaintest;

// The lines of the file, each of which the sink begins with "\r\n".
std::vector<std::string> FileLines(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  const std::string text = all.str();
  std::vector<std::string> lines;
  for (std::size_t at = text.find("\r\n"); at != std::string::npos;) {
    const std::size_t next = text.find("\r\n", at + 2);
    lines.push_back(text.substr(at + 2, next == std::string::npos ? next : next - at - 2));
    at = next;
  }
  return lines;
}

// A sink writing unstamped lines to a file of this test's own, the system line already behind.
class ProcessorLogFile : public ::testing::Test {
 protected:
  void SetUp() override {
    sink.SetOptions({});
    sink.SetFileName(dir / "chain.log");
    sink.AddSysInfo();
    sink.Clear();
    sink.SetDetailLevel(dlDebug);
  }
  testsupport::ScratchDir dir;
  TskLogFile sink;
};

TEST_F(ProcessorLogFile, EveryLineOfTheProcessorsLandsInTheFileWithItsPrefix) {
  TestDevice device;
  OpenProcessor proc;
  TskDataProtocol protocol;
  proc.SetLog(&sink);
  protocol.SetLog(&sink);
  device.SetDataProcessor(&proc);
  proc.SetDataProcessor(&protocol);
  AddAnswers(proc, {0});
  proc.DataPackets().Items(0).SetCaption("Answer 100%");
  proc.SetOnDataPacket(TskDataPacketEvent::Bind(
      &proc, [](TObject*, TskDataPacket*) { throw std::runtime_error("no room"); }));
  proc.SetOnFatalError(
      TOnFatalErrorEvent::Bind(&proc, [](TObject*, std::uint32_t, std::uint32_t, const std::string&,
                                         bool& Raise) { Raise = false; }));

  device.Notify(ncPortOpened);
  const std::string answer = Answer("0", "");
  proc.DataReceive(Ptr(answer), Len(answer));
  proc.DoDataSend(Ptr("abc"), 3);
  device.Notify(ncPortClosed);
  sink.Save();

  EXPECT_EQ(FileLines(dir / "chain.log"),
            (std::vector<std::string>{
                "skDataProc: Medium Opened",
                "skDataProt: Medium Opened",
                "skDataProc: DataPacket is detected: Answer 100%",
                "Fatal Error: 15, 1, EXCEPTION in DataPacket handler [Answer 100%]no room",
                "skDataProc: DoDataSend: 3 bytes",
                "skDataProc: Medium Closed",
                "skDataProt: Medium Closed",
            }));
}

TEST_F(ProcessorLogFile, AtTheSimpleLevelOnlyTheFatalErrorIsWritten) {
  sink.SetDetailLevel(dlSimple);
  TestDevice device;
  TskDataProcessor proc;
  proc.SetLog(&sink);
  device.SetDataProcessor(&proc);
  AddAnswers(proc, {4});
  proc.SetOnDataPacket(TskDataPacketEvent::Bind(
      &proc, [](TObject*, TskDataPacket*) { throw std::runtime_error("!"); }));
  device.Notify(ncPortOpened);
  const std::string answer = Answer("4", "");
  EXPECT_THROW(proc.DataReceive(Ptr(answer), Len(answer)), Exception);
  sink.Save();
  EXPECT_EQ(FileLines(dir / "chain.log"),
            std::vector<std::string>{
                "Fatal Error: 15, 1, EXCEPTION in DataPacket handler [TskDataPacket]!"});
}

}  // namespace
