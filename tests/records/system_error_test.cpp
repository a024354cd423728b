#include "serialkit/platform/system_error.h"

#include <gtest/gtest.h>

#include "serialkit/testing/fake_serial_device.h"

namespace sk::platform {
namespace {

TEST(SystemError, LastErrorIsPerThreadAndKept) {
  SetLastError(SystemErrorCode(TSystemError::InvalidHandle));
  EXPECT_EQ(LastError(), SystemErrorCode(TSystemError::InvalidHandle));
}

TEST(SystemError, NeutralCodesAreDistinctWithTheSystemsText) {
  const std::uint32_t closed = SystemErrorCode(TSystemError::InvalidHandle);
  const std::uint32_t lost = SystemErrorCode(TSystemError::DeviceLost);
  EXPECT_NE(closed, 0u);
  EXPECT_NE(lost, 0u);
  EXPECT_NE(closed, lost);
  for (std::uint32_t code : {closed, lost}) {
    const std::string text = SystemErrorText(code);
    EXPECT_FALSE(text.empty()) << code;
    // One line, as the callers put it inside their own lines.
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
  }
  EXPECT_NE(SystemErrorText(closed), SystemErrorText(lost));
}

TEST(SystemError, TheFakeDeviceFailsWithTheNeutralCodes) {
  FakeSerialDevice lost;
  lost.Disconnect();
  SetLastError(0);
  std::uint32_t written = 0;
  EXPECT_FALSE(lost.Write("x", 1, written));
  EXPECT_EQ(LastError(), SystemErrorCode(TSystemError::DeviceLost));

  FakeSerialDevice closed;
  closed.Close();
  SetLastError(0);
  EXPECT_FALSE(closed.SetCommMask(EV_RXCHAR));
  EXPECT_EQ(LastError(), SystemErrorCode(TSystemError::InvalidHandle));
}

}  // namespace
}  // namespace sk::platform
