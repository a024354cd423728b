// When the station writes a port: event sequences as the device watcher and the runs make them,
// and the runs they start.
#include <gtest/gtest.h>

#include <string>

#include "port_plugs.h"

namespace {

using bootshell::cli::PortPlugs;

// A: arrival, L: removal, E: the running run ends. Result: how many runs were started.
int RunsStarted(const std::string& Events) {
  PortPlugs plugs;
  bool going = false;
  int runs = 0;
  const auto start = [&] {
    plugs.Started();
    going = true;
    ++runs;
  };
  for (char e : Events) {
    if (e == 'A' && plugs.Arrived(going)) start();
    if (e == 'L') plugs.Left();
    if (e == 'E') {
      going = false;
      if (plugs.RunAgain()) start();
    }
  }
  return runs;
}

TEST(PortPlugs, OneRunPerPlugWhateverTheWatcherRepeats) {
  const struct {
    const char* events;
    int runs;
  } cases[] = {
      {"A", 1},      {"AE", 1}, {"AELA", 2},  // written, left, back: written again
      {"AAE", 1},                             // the arrival reported twice while its run goes
      {"AEA", 1},                             // ... or after it has ended
      {"ALAE", 2},    // re-plugged while its run went: written again once it ends
      {"ALALAE", 2},  // re-plugged twice: once more, not twice
      {"ALAELE", 2},  // the second run's device gone before that run: no third
      {"ALALE", 1},   // re-plugged, then gone again before the run ended
      {"L", 0},       // a removal of a port never seen
      {"LA", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(RunsStarted(c.events), c.runs) << c.events;
}

}  // namespace
