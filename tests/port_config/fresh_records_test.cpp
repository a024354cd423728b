// A new port's records hold only what the port sets: on Windows they are the system's plain
// records, which start out as whatever the memory held, and their bytes are saved and handed
// to the driver.
#include <cstring>
#include <new>

#include "port_config_fixtures.h"
#include "serialkit/platform/serial_device.h"

namespace sktest {
namespace {

// A port built in memory filled with a pattern, so that a member left unset shows.
class PatternedComm {
 public:
  PatternedComm() {
    std::memset(storage_, 0xA5, sizeof storage_);
    comm_ = ::new (storage_) sk::TskComm;
  }
  ~PatternedComm() { comm_->~TskComm(); }
  PatternedComm(const PatternedComm&) = delete;
  PatternedComm& operator=(const PatternedComm&) = delete;
  sk::TskComm& operator*() { return *comm_; }

 private:
  alignas(sk::TskComm) unsigned char storage_[sizeof(sk::TskComm)];
  sk::TskComm* comm_;
};

TEST(FreshRecords, ANewPortsLineSettingsHoldNothingItDidNotSet) {
  // What the port does not set comes from the system's default for COM1, where it keeps one.
  sk::COMMCONFIG system{};
  sk::platform::GetDefaultCommConfig("COM1", system);
  PatternedComm com;
  const sk::DCB& d = (*com).CommConfig().dcb;
  EXPECT_EQ(d.wReserved, 0u);
  EXPECT_EQ(d.ErrorChar, system.dcb.ErrorChar);
  EXPECT_EQ(d.EofChar, system.dcb.EofChar);
  EXPECT_EQ(d.wReserved1, 0u);
  // The flag word holds the bits the settings drive and nothing of the pattern.
  EXPECT_EQ(sk::DcbFlags(d) & 0xFFFF8000u, 0u);
  EXPECT_EQ((*com).CommConfig().dwProviderSubType, system.dwProviderSubType);
  EXPECT_EQ((*com).CommConfig().dwProviderSize, 0u);
  // Two new ports save the same bytes.
  FakeComm other;
  EXPECT_EQ(std::memcmp(&d, &other.CommConfig().dcb, sizeof d), 0);
}

}  // namespace
}  // namespace sktest
