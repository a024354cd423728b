// The GUI tests' main: a QApplication on the offscreen platform (SK_TEST_DISPLAY=1 keeps the
// platform of the environment, to watch the tests on a real display).
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  if (qEnvironmentVariable("SK_TEST_DISPLAY") != QLatin1String("1"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
