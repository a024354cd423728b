#include "serialkit/log/log_file.h"

#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

#include "serialkit/log/log_format.h"
#include "serialkit/log/log_text.h"
#include "serialkit/platform/debug_output.h"
#include "serialkit/platform/local_time.h"
#include "serialkit/platform/log_file_io.h"
#include "serialkit/platform/process_info.h"
#include "serialkit/platform/system_info.h"

namespace sk {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

bool IsPathDelimiter(char c) {
  return c == '/' ||
         (std::filesystem::path::preferred_separator == '\\' && (c == '\\' || c == ':'));
}

// Length of the directory part, delimiter included ("logs/a.log" -> 5).
std::size_t DirectoryPartLength(const std::string& Path) {
  for (std::size_t i = Path.size(); i > 0; --i)
    if (IsPathDelimiter(Path[i - 1])) return i;
  return 0;
}

std::string WithExtensionLog(const std::string& Path) {
  std::size_t dir = DirectoryPartLength(Path);
  std::size_t dot = Path.rfind('.');
  if (dot == std::string::npos || dot < dir) return Path + ".log";
  return Path.substr(0, dot) + ".log";
}

}  // namespace

TskLogFile::TskLogFile(TComponent* AOwner, platform::TApplication& App)
    : TskCustomLogFile(AOwner, App) {}

TskLogFile::~TskLogFile() {
  // Whoever links to the sink lets go before it tears down.
  BeginDestroy();
  Lock lock(cs);
  if (fOptions.Contains(loSafeMode) || fLog.empty()) return;
  try {
    Save();
  } catch (...) {
    // OnFatalError has seen the failure unless none is set; a destructor has nobody to
    // throw to, and a failure it would have thrown is not lost.
    ReportException();
  }
}

// The user's hooks (OnLogEntry, and OnFatalError through a failed save) run without the lock:
// a hook that waits for a thread which logs meanwhile would otherwise never return.
void TskLogFile::Add(std::string s) {
  std::optional<std::string> version;
  TOnLogEntry hook;
  {
    Lock lock(cs);
    // Cleared here so that the entry AddSysInfo makes does not write the line a second time.
    if (std::exchange(flVersion, false)) version = pendingVersion_ = VersionLine();
    hook = fOnLogEntry;
  }
  if (version) {
    const bool keep = RunEntryHook(hook, *version);
    Commit(keep ? std::move(version) : std::optional<std::string>{}, true);
  }
  if (!RunEntryHook(hook, s)) return;
  Commit(std::move(s), false);
}

bool TskLogFile::RunEntryHook(const TOnLogEntry& Hook, std::string& s) {
  if (!Hook) return true;
  try {
    Hook(this, s);
  } catch (...) {
    // A faulty hook must not cost the entry, nor go unseen.
    ReportException();
  }
  return !s.empty();
}

std::string TskLogFile::VersionLine() {
  return "SerialKit Lib v1.0 " + platform::SystemVersionString();
}

void TskLogFile::Commit(std::optional<std::string> s, bool IsVersion) {
  bool save = false, visualOutFailed = false;
  {
    Lock lock(cs);
    if (IsVersion) {
      // Another thread's entry came first and wrote the line for us, as the system
      // gave it: the version line always opens the log.
      if (!pendingVersion_) return;
      pendingVersion_.reset();
    } else if (pendingVersion_) {
      visualOutFailed = AppendLine(*std::exchange(pendingVersion_, std::nullopt));
    }
    if (!s) return;
    visualOutFailed = AppendLine(*s) || visualOutFailed;
    save = fOptions.Contains(loSafeMode);
  }
  if (visualOutFailed) ReportFatalError(0, 0, "");
  if (save) Save();
}

bool TskLogFile::AppendLine(const std::string& s) {
  const TLogOptions options = fOptions;
  std::string line = "\r\n";
  line += Stamp(options);
  AppendEscaped(line, s);
  if (options.Contains(loDebugOut)) platform::DebugOutput(line.substr(2));
  fLog += line;
  if (fEdit == nullptr) return false;
  try {
    fEdit->AppendText(line);
  } catch (...) {
    return true;
  }
  return false;
}

std::string TskLogFile::Stamp(TLogOptions Options) {
  if (!Options.Contains(loDate) && !Options.Contains(loTime) && !Options.Contains(loMSec))
    return "";
  const platform::LocalTime now = platform::LocalTimeNow();
  const TLogOptions dateTime = TLogOptions{}.Include(loDate).Include(loTime);
  const TLogOptions wanted = TLogOptions::FromByte(Options.ToByte() & dateTime.ToByte());
  if (now.EpochSeconds != stampSecond_ || wanted != stampOptions_) {
    stampText_.clear();
    if (wanted.Contains(loDate)) stampText_ = platform::FormatShortDate(now);
    if (wanted.Contains(loTime)) stampText_ += " " + platform::FormatLongTime(now);
    stampSecond_ = now.EpochSeconds;
    stampOptions_ = wanted;
  }
  std::string text = stampText_;
  if (Options.Contains(loMSec)) {
    const int ms = now.Millisecond;
    text += " +";
    text += static_cast<char>('0' + ms / 100);
    text += static_cast<char>('0' + ms / 10 % 10);
    text += static_cast<char>('0' + ms % 10);
  }
  if (text.empty()) return "";
  return "[" + TrimControls(text) + "] ";
}

void TskLogFile::AddSysInfo() {
  {
    Lock lock(cs);
    // Cleared first so that the entry below does not write the line a second time.
    flVersion = false;
  }
  Add(VersionLine());
}

void TskLogFile::AddLog(TDetailLevel l, const std::string& s) {
  if (l <= DetailLevel()) Add(s);
}

void TskLogFile::AddFmt(const std::string& Format, const TLogArgs& Args) {
  std::optional<std::string> text = FormatLogArgs(Format, Args);
  Add(text ? std::move(*text) : std::string("Log format ERROR!!!"));
}

void TskLogFile::AddLogFmt(TDetailLevel l, const std::string& Format, const TLogArgs& Args) {
  if (l <= DetailLevel()) AddFmt(Format, Args);
}

std::string TskLogFile::GetLogFileName() const {
  Lock lock(cs);
  const std::string exe = platform::ExecutablePath();
  if (fOptions.Contains(loAutoFileName)) return exe.empty() ? "" : WithExtensionLog(exe);
  if (fFileName.empty()) return "";
  // An absolute path stands as it is, even at the root of the file system (on Windows also
  // one from the root of the current drive).
  const std::filesystem::path given(fFileName);
  if (DirectoryPartLength(fFileName) >= 2 || given.is_absolute() || given.has_root_directory())
    return fFileName;
  return exe.substr(0, DirectoryPartLength(exe)) + fFileName;
}

void TskLogFile::Save() {
  std::string name;
  {
    Lock lock(cs);
    name = GetLogFileName();
    if (name.empty()) return;
    if (AppendToFile(fLog)) return fLog.clear();
  }
  ReportFatalError(0, 0, "Error when save log file:" + name);
}

void TskLogFile::Clear() {
  Lock lock(cs);
  fLog.clear();
  const std::string name = GetLogFileName();
  if (!name.empty()) platform::DeleteUnlockedFile(name);
}

bool TskLogFile::AppendToFile(const std::string& Text) {
  Lock lock(cs);
  const std::string name = TrimControls(GetLogFileName());
  if (name.empty()) return false;
  auto file = platform::LockedFile::Open(name, fOptions.Contains(loSharedLogFile)
                                                   ? platform::FileSharing::Read
                                                   : platform::FileSharing::None);
  if (!file) return false;
  const std::string bytes = fAnsiOnly ? EncodeLatin1(Text) : EncodeUtf16Le(Text);
  std::uint64_t n = bytes.size();
  if (fSizeLimit != 0) {
    const std::optional<std::uint64_t> fs = file->Size();
    if (!fs) return false;
    const std::uint64_t limit = fSizeLimit;
    if (n > limit) n = limit;  // only the beginning of an oversized text fits
    if (*fs + n > limit) {
      if (fReachLimit) fReachLimit(this);
      const std::uint64_t drop = *fs + n - limit;
      // Keep the newest fs - drop bytes of the old content at the start of the file.
      if (drop < *fs) {
        std::vector<char> kept(static_cast<std::size_t>(*fs - drop));
        if (!file->Seek(drop) || !file->Read(kept.data(), kept.size()) || !file->Seek(0) ||
            !file->Write(kept.data(), kept.size()))
          return false;
      } else if (!file->Seek(0)) {
        return false;
      }
      if (!file->TruncateHere()) return false;
    }
  }
  const bool written = file->SeekToEnd() && file->Write(bytes.data(), static_cast<std::size_t>(n));
  return file->Close() && written;
}

std::string TskLogFile::Log() const {
  Lock lock(cs);
  return fLog;
}

std::uint32_t TskLogFile::SizeLimit() const {
  Lock lock(cs);
  return fSizeLimit;
}

void TskLogFile::SetSizeLimit(std::uint32_t Value) {
  Lock lock(cs);
  fSizeLimit = Value;
}

std::string TskLogFile::FileName() const {
  Lock lock(cs);
  return fFileName;
}

void TskLogFile::SetFileName(const std::string& Value) {
  Lock lock(cs);
  fFileName = TrimControls(Value);
}

TLogOptions TskLogFile::Options() const {
  Lock lock(cs);
  return fOptions;
}

void TskLogFile::SetOptions(TLogOptions Value) {
  Lock lock(cs);
  fOptions = Value;
}

bool TskLogFile::AnsiOnly() const {
  Lock lock(cs);
  return fAnsiOnly;
}

void TskLogFile::SetAnsiOnly(bool Value) {
  Lock lock(cs);
  fAnsiOnly = Value;
}

TNotifyEvent TskLogFile::OnReachLimit() const {
  Lock lock(cs);
  return fReachLimit;
}

void TskLogFile::SetOnReachLimit(TNotifyEvent Value) {
  Lock lock(cs);
  fReachLimit = std::move(Value);
}

TOnLogEntry TskLogFile::OnLogEntry() const {
  Lock lock(cs);
  return fOnLogEntry;
}

void TskLogFile::SetOnLogEntry(TOnLogEntry Value) {
  Lock lock(cs);
  fOnLogEntry = std::move(Value);
}

LogEditControl* TskLogFile::VisualOut() const {
  Lock lock(cs);
  return fEdit;
}

void TskLogFile::SetVisualOut(LogEditControl* Value) {
  Lock lock(cs);
  if (Value == fEdit) return;
  if (fEdit != nullptr) RemoveFreeNotification(fEdit);
  fEdit = Value;
  if (fEdit != nullptr) FreeNotification(fEdit);
}

void TskLogFile::Notification(TComponent* AComponent, TOperation Operation) {
  TskCustomLogFile::Notification(AComponent, Operation);
  if (Operation != TOperation::opRemove || AComponent == nullptr) return;
  Lock lock(cs);
  if (AComponent == fEdit) fEdit = nullptr;
}

}  // namespace sk
