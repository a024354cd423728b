// The DTR/DSR handshake test and the plug-and-play identification string, on scripted fake
// devices whose input arrives on a schedule.
#include <algorithm>

#include "port_config_fixtures.h"
#include "serialkit/platform/application.h"
#include "serialkit/platform/tick.h"

namespace sktest {
namespace {

using sk::EVENPARITY;
using sk::MS_DSR_ON;
using sk::NOPARITY;
using sk::ONESTOPBIT;

using sk::platform::FakeSerialDevice;

constexpr char kSetRts[] = "EscapeCommFunction 3";

Bytes B(const std::string& S) {
  return Bytes(S.begin(), S.end());
}

// The line changes in the order made: "DTR+", "RTS-" and so on.
std::vector<std::string> Lines(const FakeSerialDevice& Fake) {
  std::vector<std::string> lines;
  for (const std::string& e : Fake.Journal()) {
    if (e == "EscapeCommFunction 5") lines.push_back("DTR+");
    if (e == "EscapeCommFunction 6") lines.push_back("DTR-");
    if (e == "EscapeCommFunction 3") lines.push_back("RTS+");
    if (e == "EscapeCommFunction 4") lines.push_back("RTS-");
  }
  return lines;
}

int Count(const FakeSerialDevice& Fake, const std::string& Entry) {
  const auto j = Fake.Journal();
  return static_cast<int>(std::count(j.begin(), j.end(), Entry));
}

struct Chunk {
  std::string bytes;
  std::uint32_t delayMs;
  std::string after;  // empty: once the chunk before has been read
  int occurrence = 1;
};

struct PnpCase {
  const char* name;
  std::vector<Chunk> input;
  std::string expected;
  int reads;  // one-byte reads: nothing is taken beyond the end marker
};

TEST(PnpString, ReadsFromBeginMarkerThroughEndMarker) {
  const PnpCase cases[] = {
      {"parentheses, trailing bytes left", {{"(ABC)XYZ", 10, kSetRts}}, "(ABC)", 5},
      {"0x08 to 0x09", {{"\x08PNP\x09Z", 10, kSetRts}}, "\x08PNP\x09", 5},
      {"byte above 0x7F is its own character", {{"(\xE9)", 10, kSetRts}}, "(\xC3\xA9)", 3},
      {"a gap under 200 ms is waited for", {{"(AB", 10, kSetRts}, {"CD)", 120, ""}}, "(ABCD)", 6},
      {"a gap over 200 ms ends it", {{"(AB", 10, kSetRts}, {"CD)", 5000, ""}}, "(AB", 3},
      {"answer only to the second toggle", {{"(X)", 10, kSetRts, 2}}, "(X)", 3},
      {"first byte no marker", {{"ABC)", 10, kSetRts}}, "", 1},
      {"no byte at all", {}, "", 0},
  };
  for (const PnpCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeComm com;
    com.Prepare = [&](FakeSerialDevice& f) {
      f.SetModemStatus(MS_DSR_ON);
      for (const Chunk& k : c.input) f.ScheduleInput(B(k.bytes), k.delayMs, k.after, k.occurrence);
    };
    EXPECT_EQ(com.GetPNPDeviceString(), c.expected);
    ASSERT_EQ(com.devices.size(), 1u);
    EXPECT_EQ(Count(*com.Last(), "Read 1"), c.reads);
    EXPECT_FALSE(com.Active());
    EXPECT_TRUE(com.Last()->IsClosed());
  }
}

TEST(PnpString, TogglesTheLinesInOrderWithTheirPauses) {
  FakeComm com;
  com.Prepare = [](FakeSerialDevice& f) {
    f.SetModemStatus(MS_DSR_ON);
    f.ScheduleInput(B("(1)"), 10, kSetRts);
  };
  ASSERT_EQ(com.GetPNPDeviceString(), "(1)");
  const FakeSerialDevice& f = *com.Last();
  EXPECT_EQ(Lines(f), (std::vector<std::string>{"DTR+", "RTS-", "DTR-", "RTS-", "DTR+", "RTS+"}));
  // Both buffers are cleared before the lines are touched.
  const auto journal = f.Journal();
  const auto purge = std::find(journal.begin(), journal.end(), "PurgeComm 0xF");
  const auto firstLine = std::find(journal.begin(), journal.end(), "EscapeCommFunction 5");
  EXPECT_LT(purge, firstLine);

  // 200 ms between dropping both lines and raising DTR, and between DTR and RTS.
  const auto times = f.JournalTimes();
  auto timeOf = [&](const std::string& Entry, int Occurrence) {
    int seen = 0;
    for (std::size_t i = 0; i < journal.size(); ++i)
      if (journal[i] == Entry && ++seen == Occurrence) return times[i];
    ADD_FAILURE() << Entry << " #" << Occurrence << " missing";
    return 0u;
  };
  EXPECT_GE(timeOf("EscapeCommFunction 5", 2) - timeOf("EscapeCommFunction 6", 1), 200u);
  EXPECT_GE(timeOf("EscapeCommFunction 3", 1) - timeOf("EscapeCommFunction 5", 2), 200u);
}

TEST(PnpString, SecondToggleDropsAndRaisesBothLines) {
  FakeComm com;
  com.Prepare = [](FakeSerialDevice& f) { f.SetModemStatus(MS_DSR_ON); };
  const std::uint32_t start = sk::platform::GetTickCount();
  EXPECT_EQ(com.GetPNPDeviceString(), "");
  // Two pauses, a wait, a pause and a last wait: a second chance was given.
  EXPECT_GE(sk::platform::GetTickCount() - start, 1000u);
  EXPECT_EQ(Lines(*com.Last()), (std::vector<std::string>{"DTR+", "RTS-", "DTR-", "RTS-", "DTR+",
                                                          "RTS+", "DTR-", "RTS-", "DTR+", "RTS+"}));
}

TEST(PnpString, ReadsAt1200Baud7N1AndPutsSettingsAndTraceStatesBack) {
  FakeComm com;
  com.SetBaudRate(115200);
  com.SetParity(sk::pEven);
  com.SetStopBits(sk::sbTwo);
  const sk::TTraceStates states = sk::SetOf<sk::TTraceStates>(sk::tsTxEmpty, sk::tsDSR);
  com.SetTraceStates(states);
  com.Prepare = [](FakeSerialDevice& f) {
    f.SetModemStatus(MS_DSR_ON);
    f.ScheduleInput(B("(1)"), 10, kSetRts);
  };
  const sk::DCB before = com.CommConfig().dcb;
  ASSERT_EQ(com.GetPNPDeviceString(), "(1)");

  const auto history = com.Last()->StateHistory();
  ASSERT_GE(history.size(), 2u);
  const sk::DCB& working = history[history.size() - 2];
  EXPECT_EQ(working.BaudRate, 1200u);
  EXPECT_EQ(working.ByteSize, 7);
  EXPECT_EQ(working.Parity, NOPARITY);
  EXPECT_EQ(sk::DcbFlags(working) & sk::dcb::fParity, 0u);
  EXPECT_EQ(working.StopBits, ONESTOPBIT);
  EXPECT_EQ(history.back().BaudRate, 115200u);
  EXPECT_EQ(history.back().Parity, EVENPARITY);
  // The component's own record never held the working copy.
  EXPECT_EQ(com.BaudRate(), 115200u);
  EXPECT_EQ(sk::DcbFlags(com.CommConfig().dcb), sk::DcbFlags(before));
  EXPECT_EQ(com.TraceStates(), states);
  // While reading, the event mask asked for nothing beyond received characters.
  EXPECT_EQ(Count(*com.Last(), "SetCommMask 0x1"), 1);
}

TEST(PnpString, AnOpenPortIsClosedAndOpenedAgain) {
  FakeComm com;
  com.Prepare = [](FakeSerialDevice& f) {
    f.SetModemStatus(MS_DSR_ON);
    f.ScheduleInput(B("(1)"), 10, kSetRts);
  };
  com.SetActive(true);
  EXPECT_EQ(com.GetPNPDeviceString(), "(1)");
  ASSERT_EQ(com.devices.size(), 2u);
  EXPECT_TRUE(com.devices[0]->IsClosed());
  EXPECT_TRUE(com.Active());
  EXPECT_FALSE(com.Last()->IsClosed());
}

TEST(PnpString, WaitsServeTheThreadsMessages) {
  FakeComm com;
  com.Prepare = [](FakeSerialDevice& f) {
    f.SetModemStatus(MS_DSR_ON);
    f.ScheduleInput(B("(1)"), 10, kSetRts);
  };
  auto& app = sk::platform::Application();
  bool served = false;
  std::uint32_t baudMeanwhile = 0;
  app.PostCall(app.MainThreadId(), [&] {
    served = true;
    if (!com.devices.empty()) baudMeanwhile = com.Last()->State().BaudRate;
  });
  EXPECT_EQ(com.GetPNPDeviceString(), "(1)");
  EXPECT_TRUE(served);
  EXPECT_EQ(baudMeanwhile, 1200u);
}

TEST(PnpString, NoDsrPutsThePortBackThenReportsTheFatalError) {
  for (const bool wasOpen : {false, true}) {
    SCOPED_TRACE(wasOpen ? "open before" : "closed before");
    FakeComm com;
    RecordingLog log;
    com.SetLog(&log);
    if (wasOpen) com.SetActive(true);
    bool activeWhenReported = !wasOpen;
    FatalErrors fatal;
    com.SetOnFatalError(sk::TOnFatalErrorEvent::Bind(
        &fatal,
        [&](sk::TObject* S, std::uint32_t C, std::uint32_t D, const std::string& M, bool& R) {
          activeWhenReported = com.Active();
          fatal.Heard(S, C, D, M, R);
        }));
    try {
      com.GetPNPDeviceString();
      ADD_FAILURE() << "no exception";
    } catch (const std::exception& e) {
      EXPECT_STREQ(e.what(), "Device Connect Initialization Error");
    }
    EXPECT_EQ(activeWhenReported, wasOpen);
    EXPECT_EQ(com.Active(), wasOpen);
    ASSERT_EQ(com.devices.size(), 1u);
    EXPECT_EQ(com.Last()->IsClosed(), !wasOpen);
    EXPECT_EQ(fatal.heard, std::vector<std::string>{"1 0 Device Connect Initialization Error"});
    EXPECT_EQ(Count(*com.Last(), "Read 1"), 0);
  }
}

TEST(PnpString, APortThatDoesNotOpenGivesNothing) {
  FakeComm com;
  com.openError = 2;
  FatalErrors fatal;
  com.SetOnFatalError(fatal.Event());
  EXPECT_EQ(com.GetPNPDeviceString(), "");
  EXPECT_FALSE(com.Active());
  ASSERT_EQ(fatal.heard.size(), 1u);  // the open's own report
  EXPECT_EQ(fatal.heard[0].rfind("1 0 Device \"COM1\" Open Error !!!\r", 0), 0u);
}

TEST(InitDeviceConnect, RaisesRtsWhenDsrAnswers) {
  FakeComm com;
  RecordingLog log;
  com.SetLog(&log);
  com.Prepare = [](FakeSerialDevice& f) { f.SetModemStatus(MS_DSR_ON); };
  com.SetActive(true);
  com.Last()->ClearJournal();
  log.Clear();
  com.InitDeviceConnect();
  EXPECT_EQ(Lines(*com.Last()), (std::vector<std::string>{"DTR+", "RTS-", "RTS+"}));
  EXPECT_EQ(Count(*com.Last(), "PurgeComm 0xF"), 1);
  EXPECT_EQ(log.Lines(),
            std::vector<std::string>{"1 skComm: The device connection was succesful tested"});
  EXPECT_TRUE(com.Active());
}

TEST(InitDeviceConnect, WithoutDsrIsAFatalErrorAfter200Ms) {
  FakeComm com;
  RecordingLog log;
  com.SetLog(&log);
  com.SetActive(true);
  log.Clear();
  const std::uint32_t start = sk::platform::GetTickCount();
  try {
    com.InitDeviceConnect();
    ADD_FAILURE() << "no exception";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Device Connect Initialization Error");
  }
  EXPECT_GE(sk::platform::GetTickCount() - start, 200u);
  EXPECT_EQ(Lines(*com.Last()), (std::vector<std::string>{"DTR+", "RTS-"}));
  EXPECT_EQ(log.Lines(),
            std::vector<std::string>{"0 Fatal Error: 1, 0, Device Connect Initialization Error"});
  EXPECT_TRUE(com.Active());
}

TEST(InitDeviceConnect, DoesNothingOnAClosedPort) {
  FakeComm com;
  RecordingLog log;
  com.SetLog(&log);
  com.InitDeviceConnect();
  EXPECT_TRUE(com.devices.empty());
  EXPECT_TRUE(log.Lines().empty());
}

}  // namespace
}  // namespace sktest
