// The image tool as its users run it: exit status, messages and what is left on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cipher/file_stream.h"
#include "oracle.h"
#include "serialkit/platform/process_info.h"
#include "support/child_process.h"
#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

class Brox : public ::testing::Test {
 protected:
  // Runs brox with Args; returns the exit status, standard error in Err.
  int Run(const std::vector<std::string>& Args) {
#ifdef _WIN32
    // The build folder's path is the build machine's; the tool lies beside this program.
    const std::string program =
        (fs::path(sk::platform::ExecutablePath()).parent_path() / "brox.exe").string();
#else
    const std::string program = BROX_PROGRAM;
#endif
    const int status = testsupport::RunProgram(program, Args, capture_ / "out", capture_ / "err");
    err = testsupport::ReadAll(capture_ / "err");
    return status;
  }
  fs::path Put(const std::string& name, const sk::ByteString& data) {
    std::ofstream(dir_ / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    return dir_ / name;
  }
  std::string P(const std::string& name) {
    return (dir_ / name).string();
  }
  std::size_t FileCount() {
    return std::size_t(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }

  testsupport::ScratchDir scratch_;
  testsupport::ScratchDir capture_;  // the tool's own output, apart from its files
  fs::path dir_ = scratch_.Path();
  std::string err;
};

TEST_F(Brox, EncryptsUnderTheBuiltInKeyAndDecryptsBack) {
  sk::ByteString plain = oracle::RandomBytes(10240, 21);
  Put("plain.bin", plain);
  ASSERT_EQ(Run({"encrypt", P("plain.bin"), P("image.brox")}), 0) << err;
  sk::ByteString image = bootshell::cipher::ReadWholeFile(dir_ / "image.brox");
  EXPECT_EQ(image, oracle::Encrypt(oracle::PreparedFor(sk::ToBytes("rpmTazhK3WQRVBJ%")), plain));
  ASSERT_EQ(Run({"decrypt", P("image.brox"), P("back.bin")}), 0) << err;
  EXPECT_EQ(bootshell::cipher::ReadWholeFile(dir_ / "back.bin"), plain);
}

TEST_F(Brox, OtherKeyAndInPlaceWork) {
  sk::ByteString plain = oracle::RandomBytes(1000, 22);
  Put("image.bin", plain);
  ASSERT_EQ(Run({"encrypt", P("image.bin"), P("image.bin"), "--key", "secret"}), 0) << err;
  sk::ByteString image = bootshell::cipher::ReadWholeFile(dir_ / "image.bin");
  EXPECT_EQ(image, oracle::Encrypt(oracle::PreparedFor(sk::ToBytes("secret")), plain));
  EXPECT_NE(err.find("last 8 bytes"), std::string::npos) << err;
  ASSERT_EQ(Run({"decrypt", P("image.bin"), P("image.bin"), "--key", "secret"}), 0) << err;
  EXPECT_EQ(bootshell::cipher::ReadWholeFile(dir_ / "image.bin"), plain);
}

TEST_F(Brox, MissingInputFailsAndLeavesTheOutputAlone) {
  Put("out.bin", sk::ToBytes("keep me"));
  EXPECT_NE(Run({"decrypt", P("missing.brox"), P("out.bin")}), 0);
  EXPECT_NE(err.find("missing.brox\": No such file or directory"), std::string::npos) << err;
  EXPECT_EQ(bootshell::cipher::ReadWholeFile(dir_ / "out.bin"), sk::ToBytes("keep me"));
  EXPECT_EQ(FileCount(), 1u);  // out.bin
}

TEST_F(Brox, UnwritableOutputFailsWithoutLeftovers) {
  Put("in.brox", oracle::RandomBytes(64, 23));
  EXPECT_NE(Run({"decrypt", P("in.brox"), P("no/such/dir/out.bin")}), 0);
  EXPECT_NE(err.find("cannot write"), std::string::npos) << err;
  fs::create_directory(dir_ / "sub");
  EXPECT_NE(Run({"decrypt", P("in.brox"), P("sub")}), 0);
  EXPECT_NE(err.find("Is a directory"), std::string::npos) << err;
  EXPECT_TRUE(fs::is_empty(dir_ / "sub"));
  EXPECT_EQ(FileCount(), 2u);  // in.brox and sub
}

TEST_F(Brox, UsageErrorsAreRefused) {
  Put("in.brox", oracle::RandomBytes(64, 24));
  EXPECT_NE(Run({}), 0);
  EXPECT_NE(Run({"decrypt", P("in.brox")}), 0);
  EXPECT_NE(Run({"decrypt", P("in.brox"), P("out"), "--key", ""}), 0);
  EXPECT_NE(err.find("key must not be empty"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(dir_ / "out"));
  EXPECT_EQ(Run({"--help"}), 0);
}

}  // namespace
