#pragma once
// The log sink that writes to a size-limited file, and optionally to an edit control, the
// debugger output and a user hook.
#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>

#include "serialkit/core/event.h"
#include "serialkit/log/custom_log_file.h"
#include "serialkit/log/log_edit_control.h"

namespace sk {

// Bit numbers of the options byte.
enum TLogOption : std::uint8_t {
  loSafeMode = 0,       // save after every entry
  loAutoFileName = 1,   // the executable's path with ".log" instead of FileName
  loSharedLogFile = 2,  // others may read the file while it is written
  loDate = 3,
  loTime = 4,
  loMSec = 5,
  loDebugOut = 6,  // copy each line to the debugger output
};

class TLogOptions {
 public:
  constexpr TLogOptions() = default;
  constexpr TLogOptions(std::initializer_list<TLogOption> Options) {
    for (TLogOption o : Options) Include(o);
  }
  static constexpr TLogOptions FromByte(std::uint8_t Value) {
    TLogOptions o;
    o.bits_ = Value & kAll;
    return o;
  }
  constexpr std::uint8_t ToByte() const { return bits_; }
  constexpr bool Contains(TLogOption o) const { return (bits_ >> o) & 1u; }
  constexpr TLogOptions& Include(TLogOption o) {
    bits_ |= static_cast<std::uint8_t>(1u << o);
    return *this;
  }
  constexpr TLogOptions& Exclude(TLogOption o) {
    bits_ &= static_cast<std::uint8_t>(~(1u << o));
    return *this;
  }
  constexpr TLogOptions With(TLogOption o) const { return TLogOptions(*this).Include(o); }
  constexpr TLogOptions Without(TLogOption o) const { return TLogOptions(*this).Exclude(o); }
  friend constexpr bool operator==(TLogOptions, TLogOptions) = default;

 private:
  static constexpr std::uint8_t kAll = 0x7F;
  std::uint8_t bits_ = 0;
};

using TOnLogEntry = TEvent<void(TObject* Sender, std::string& logEntry)>;

class TskLogFile : public TskCustomLogFile {
 public:
  static constexpr std::uint32_t kDefaultSizeLimit = 204800;
  static constexpr const char* kDefaultFileName = "skcommlib.log";
  static constexpr TLogOptions kDefaultOptions{loSafeMode, loAutoFileName, loDate, loTime,
                                               loDebugOut};

  explicit TskLogFile(TComponent* AOwner = nullptr,
                      platform::TApplication& App = platform::Application());
  // Saves what is still pending (without loSafeMode); a failure there is reported to
  // OnFatalError but never thrown out of the destructor.
  ~TskLogFile() override;
  std::string ClassName() const override { return "TskLogFile"; }

  void Save() override;
  void Clear() override;
  void Add(std::string s) override;
  void AddSysInfo() override;
  void AddLog(TDetailLevel l, const std::string& s) override;
  void AddFmt(const std::string& Format, const TLogArgs& Args) override;
  void AddLogFmt(TDetailLevel l, const std::string& Format, const TLogArgs& Args) override;
  using TskCustomLogFile::AddFmt;
  using TskCustomLogFile::AddLogFmt;

  // The file the lines go to; empty when nothing is to be saved.
  std::string GetLogFileName() const;
  // The lines added but not yet saved, each beginning with "\r\n".
  std::string Log() const;

  std::uint32_t SizeLimit() const;
  void SetSizeLimit(std::uint32_t Value);  // bytes; 0 = no limit
  std::string FileName() const;
  void SetFileName(const std::string& Value);  // stored without surrounding blanks and controls
  TDetailLevel DetailLevel() const { return fDetailLevel.load(std::memory_order_relaxed); }
  void SetDetailLevel(TDetailLevel Value) { fDetailLevel.store(Value, std::memory_order_relaxed); }
  TLogOptions Options() const;
  void SetOptions(TLogOptions Value);
  bool AnsiOnly() const;
  void SetAnsiOnly(bool Value);  // false: UTF-16 little-endian without byte-order mark
  // Both in the thread that writes the line (any component's thread: the sink takes a lock).
  TNotifyEvent OnReachLimit() const;
  void SetOnReachLimit(TNotifyEvent Value);
  TOnLogEntry OnLogEntry() const;
  void SetOnLogEntry(TOnLogEntry Value);
  LogEditControl* VisualOut() const;
  void SetVisualOut(LogEditControl* Value);

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;
  // Appends Text to the log file within the size limit; false when the file could not be
  // opened, positioned or written.
  bool AppendToFile(const std::string& Text);

 private:
  // "[date time] " or "[+mmm] " by the options, or nothing.
  std::string Stamp(TLogOptions Options);
  static std::string VersionLine();
  // False when the hook emptied the entry, which then is not logged.
  bool RunEntryHook(const TOnLogEntry& Hook, std::string& s);
  // Logs s (nothing when empty) after the version line if that is still unwritten; the
  // version line itself when IsVersion.
  void Commit(std::optional<std::string> s, bool IsVersion);
  // Under the lock: the stamped line into memory and VisualOut; true when VisualOut failed.
  bool AppendLine(const std::string& s);

  mutable std::recursive_mutex cs;
  std::string fLog;
  std::uint32_t fSizeLimit = kDefaultSizeLimit;
  std::string fFileName = kDefaultFileName;
  std::atomic<TDetailLevel> fDetailLevel{dlSimple};
  TLogOptions fOptions = kDefaultOptions;
  TNotifyEvent fReachLimit;
  bool flVersion = true;
  // The version line between its hook and its write; an entry written meanwhile writes it first.
  std::optional<std::string> pendingVersion_;
  bool fAnsiOnly = true;
  TOnLogEntry fOnLogEntry;
  LogEditControl* fEdit = nullptr;
  // The date and time text of the last stamped second: they change only once a second.
  std::int64_t stampSecond_ = -1;
  TLogOptions stampOptions_;
  std::string stampText_;
};

}  // namespace sk
