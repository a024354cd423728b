#include "e2e_fixture.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace e2e {

std::vector<std::string> EndToEnd::FrameLog() const {
  std::istringstream in(testsupport::ReadAll(Path("frames.log")));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    if (line.rfind("rx ", 0) == 0 || line.rfind("tx ", 0) == 0) lines.push_back(line);
  return lines;
}

Bytes EndToEnd::ExpectedFlash(const Bytes& Plain) {
  namespace proto = bootshell::protocol;
  const auto size = static_cast<std::int64_t>(Plain.size());
  Bytes flash;
  for (std::int64_t p = 0; p < size; p += proto::kChunkSize) {
    if (!proto::ChunkIsSent(p, size)) continue;
    flash.resize(static_cast<std::size_t>(p), 0xFF);
    flash.insert(flash.end(), Plain.begin() + p, Plain.begin() + p + 1024);
  }
  return flash;
}

void EndToEnd::WriteFile(const std::string& Path, const Bytes& Data) {
  std::ofstream out(Path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
}

}  // namespace e2e
