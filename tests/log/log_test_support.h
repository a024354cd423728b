#pragma once
// Shared helpers of the log tests: whole-file reads, a sink that writes plain lines to a file of
// its own, and the line and stamp splitting of the log text.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "serialkit/log/log_file.h"
#include "support/foreign_lock.h"
#include "support/scratch_dir.h"

namespace logtest {

inline std::string ReadAll(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void WriteAll(const std::string& Path, const std::string& Bytes) {
  std::ofstream(Path, std::ios::binary | std::ios::trunc) << Bytes;
}

inline bool Exists(const std::string& Path) {
  return std::filesystem::exists(Path);
}

// A sink writing unstamped lines to Path, without saving after each entry and without the
// debugger copy; the system line is already behind it, so the next line is the first pending.
inline void MakePlain(sk::TskLogFile& Sink, const std::string& Path) {
  Sink.SetOptions({});
  Sink.SetFileName(Path);
  Sink.AddSysInfo();
  Sink.Clear();
}

// The lines of a log text, each having begun with "\r\n".
inline std::vector<std::string> Lines(const std::string& Text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while ((pos = Text.find("\r\n", pos)) != std::string::npos) {
    pos += 2;
    std::size_t end = Text.find("\r\n", pos);
    lines.push_back(Text.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
  }
  return lines;
}

// Splits "[stamp] rest" into its parts; false when the line has no stamp of that shape (the
// stamp trimmed, not empty).
inline bool SplitStamp(const std::string& Line, std::string& Stamp, std::string& Rest) {
  std::size_t close = Line.find("] ");
  if (Line.empty() || Line[0] != '[' || close == std::string::npos || close < 2) return false;
  Stamp = Line.substr(1, close - 1);
  Rest = Line.substr(close + 2);
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  return !blank(Stamp.front()) && !blank(Stamp.back());
}

// Whether Stamp is "+" and three digits, the stamp of milliseconds alone.
inline bool IsMillisecondStamp(const std::string& Stamp) {
  return Stamp.size() == 4 && Stamp[0] == '+' &&
         std::all_of(Stamp.begin() + 1, Stamp.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace logtest
