#include "loader_rig.h"

#include <time.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "cipher/memory_stream.h"
#include "cipher/rc6.h"
#include "loader/firmware_key.h"

namespace bench {

double ProcessCpuSeconds() {
  timespec ts{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

LoaderRig::LoaderRig(std::vector<std::string> SimArgs, int LinkKind) {
  std::string pattern = (std::filesystem::temp_directory_path() / "bench-e2e-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = pattern;
  SimArgs.insert(SimArgs.end(), {"--frame-log", "/dev/null"});
  sim_ = std::make_unique<testsupport::SimProcess>(SimArgs);
  host_ = std::make_unique<bootshell::cli::ConsoleHost>(LinkKind);
  session_ = std::make_unique<bootshell::boot::LoaderSession>(*host_, *this, sim_->TtyPath());
}

LoaderRig::~LoaderRig() {
  session_.reset();
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

void LoaderRig::Answer(std::int32_t, const std::string&) {
  lastAnswerAt_ = Clock::now().time_since_epoch().count();
  ++answers_;
}

sk::ByteString PlainImage(std::size_t Size) {
  sk::ByteString plain(Size);
  std::mt19937 rng(42);
  for (auto& b : plain) b = static_cast<sk::Byte>(rng());
  return plain;
}

std::string LoaderRig::MakeImage(std::size_t Size) {
  bootshell::cipher::MemoryStream image(PlainImage(Size));
  bootshell::cipher::RC6EncryptStream(image, sk::ToBytes(bootshell::FirmwareKey), image.Size());
  const std::string path = dir_ + "/image.brox";
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image.Data().data()),
            static_cast<std::streamsize>(image.Data().size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
  return path;
}

void LoaderRig::Run(bootshell::loader::LoaderEvents& Watcher, std::function<void()> Operator) {
  session_->SetWatcher(&Watcher);
  host_->SetOperator(std::move(Operator));
  session_->Connect();
  host_->SetOperator({});
  session_->SetWatcher(nullptr);
}

}  // namespace bench
