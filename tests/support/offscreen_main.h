#pragma once
// The main of a GUI test program (include it in one of its files): a QApplication on Qt's
// offscreen platform, then the tests. SK_TEST_DISPLAY=1 keeps the platform the environment
// names, to watch the tests on a real display.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  if (qEnvironmentVariable("SK_TEST_DISPLAY") != QLatin1String("1"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
