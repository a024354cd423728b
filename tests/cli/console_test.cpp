// The console: device text made safe for a terminal, the bar kept below printed lines, and
// image files checked before the port is touched.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "console_output.h"
#include "loader/image_check.h"
#include "support/scratch_dir.h"

namespace bootshell::cli {
namespace {

using loader::CheckImageFile;

// Everything written to a temporary file, read back.
std::string Contents(std::FILE* F) {
  std::fflush(F);
  std::rewind(F);
  std::string text;
  char buf[512];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, F)) text.append(buf, n);
  return text;
}

TEST(ConsoleText, ControlCharactersFromTheDeviceAreShownEscaped) {
  EXPECT_EQ(ForTerminal("<ok>"), "<ok>");
  EXPECT_EQ(ForTerminal("<a\x1b[2Jb>"), "<a\\x1B[2Jb>");
  EXPECT_EQ(ForTerminal(std::string("\r\n\t\x7f", 4)), "\\x0D\\x0A\\x09\\x7F");
  EXPECT_EQ(ForTerminal(std::string("\0", 1)), "\\x00");
  // Latin-1 0x9B (a C1 control) arrives as U+009B; printable Latin-1 stays.
  EXPECT_EQ(ForTerminal("\xC2\x9B"
                        "x \xC3\xA9 \xC2\xA0"),
            "\\x9Bx \xC3\xA9 \xC2\xA0");
  EXPECT_EQ(ForTerminal("end\xC2"), "end\xC2");
}

TEST(ConsoleOutput, LinesArePrintedAboveTheBarWhichIsRedrawn) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  ConsoleOutput console(out, err, /*Terminal=*/true, /*Quiet=*/false);
  ProgressMeter m;
  m.Start(100, ProgressMeter::Clock::now());
  console.Progress(m);
  console.Line("<answer>");
  console.Error("failed");
  const std::string text = Contents(out);
  const std::string bar = m.BarLine(30);
  EXPECT_EQ(text, "\r" + bar + "\033[K" + "\r\033[K<answer>\n" + bar + "\n");
  EXPECT_EQ(Contents(err), "failed\n");
  std::fclose(out);
  std::fclose(err);
}

TEST(ConsoleOutput, PipeGetsPlainProgressLinesAndQuietOnlyErrors) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  {
    ConsoleOutput console(out, err, /*Terminal=*/false, /*Quiet=*/false);
    ProgressMeter m;
    m.Start(100, ProgressMeter::Clock::now());
    console.Progress(m);
    m.Update(5, ProgressMeter::Clock::now());
    console.Progress(m);  // still within the first tenth: no line
    console.Line("x");
  }
  EXPECT_EQ(Contents(out), "progress 0% (0 of 100 bytes)\nx\n");
  std::FILE* quietOut = std::tmpfile();
  {
    ConsoleOutput console(quietOut, err, true, /*Quiet=*/true);
    ProgressMeter m;
    m.Start(100, ProgressMeter::Clock::now());
    console.Progress(m);
    console.Line("<answer>");
    console.Error("bad");
  }
  EXPECT_EQ(Contents(quietOut), "");
  EXPECT_EQ(Contents(err), "bad\n");
  for (std::FILE* f : {out, err, quietOut}) std::fclose(f);
}

class ImageFile : public ::testing::Test {
 protected:
  std::string Write(const std::string& Name, std::size_t Size) {
    const std::string path = dir_ / Name;
    std::ofstream(path, std::ios::binary) << std::string(Size, 'x');
    return path;
  }
  testsupport::ScratchDir dir_;
};

TEST_F(ImageFile, ImageOfAtLeastOneChunkIsTakenWithItsCycles) {
  std::string error;
  auto facts = CheckImageFile(Write("a.brox", 10240), error);
  ASSERT_TRUE(facts) << error;
  EXPECT_EQ(facts->size, 10240);
  EXPECT_EQ(facts->cycles, 4);
  EXPECT_EQ(CheckImageFile(Write("b.brox", 2048), error)->cycles, 1);
}

TEST_F(ImageFile, MissingShortOrNonFileImagesAreRefusedWithTheReason) {
  std::string error;
  EXPECT_FALSE(CheckImageFile(dir_ / "none.brox", error));
  EXPECT_NE(error.find("none.brox"), std::string::npos) << error;
  EXPECT_FALSE(CheckImageFile(Write("short.brox", 2047), error));
  EXPECT_NE(error.find("too short: 2047 bytes"), std::string::npos) << error;
  EXPECT_FALSE(CheckImageFile(Write("empty.brox", 0), error));
  EXPECT_FALSE(CheckImageFile(dir_.Path().string(), error));
  EXPECT_NE(error.find("not a file"), std::string::npos) << error;
}

}  // namespace
}  // namespace bootshell::cli
