// The system's port dialog: what can be checked without an operator at it.
#include <gtest/gtest.h>

#include <cstring>

#include "serialkit/platform/config_dialog.h"
#include "serialkit/platform/system_error.h"

namespace {

namespace pf = sk::platform;

TEST(PlatformConfigDialog, ARecordOfTheWrongSizeIsRefusedUnchanged) {
  sk::COMMCONFIG config{};
  config.dwSize = 8;  // far below the record's size
  config.dcb.DCBlength = sizeof(sk::DCB);
  config.dcb.BaudRate = 4800;
  sk::COMMCONFIG before = config;
  pf::SetLastError(0);
  EXPECT_FALSE(pf::PlatformCommConfigDialog("COM1", config));
  EXPECT_NE(pf::LastError(), 0u) << "the reason stays for whoever asks";
  EXPECT_EQ(std::memcmp(&config, &before, sizeof config), 0);

  // Through the hookless entry point the caller's record is not touched either.
  EXPECT_FALSE(pf::CommConfigDialog("COM1", config));
  EXPECT_EQ(std::memcmp(&config, &before, sizeof config), 0);
}

}  // namespace
