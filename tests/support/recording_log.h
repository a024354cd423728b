#pragma once
// A log sink for tests: keeps every line as "<level> <text>" ("- <text>" for entries added
// without a level); OnLine, when set, sees each line as it comes.
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "serialkit/log/custom_log_file.h"
#include "serialkit/log/log_format.h"

namespace testsupport {

class RecordingLog : public sk::TskCustomLogFile {
 public:
  using TskCustomLogFile::AddLogFmt;
  using TskCustomLogFile::TskCustomLogFile;
  ~RecordingLog() override { BeginDestroy(); }
  void Save() override {}
  void Clear() override {
    std::lock_guard lock(mutex_);
    lines_.clear();
  }
  void Add(std::string s) override { Put("- " + s); }
  void AddSysInfo() override { Put("- <system information>"); }
  void AddLog(sk::TDetailLevel l, const std::string& s) override {
    Put(std::to_string(l) + " " + s);
  }
  void AddFmt(const std::string& Format, const sk::TLogArgs& Args) override {
    Put("- " + sk::FormatLogArgs(Format, Args).value_or("<bad format> " + Format));
  }
  void AddLogFmt(sk::TDetailLevel l, const std::string& Format, const sk::TLogArgs& Args) override {
    Put(std::to_string(l) + " " +
        sk::FormatLogArgs(Format, Args).value_or("<bad format> " + Format));
  }
  std::vector<std::string> Lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  std::function<void(const std::string&)> OnLine;

 private:
  void Put(const std::string& line) {
    if (OnLine) OnLine(line);
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
  }
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace testsupport
