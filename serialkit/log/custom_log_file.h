#pragma once
// The abstract log sink that ports and data processors write to through their Log links.
#include <concepts>
#include <cstdint>
#include <exception>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "serialkit/core/component.h"
#include "serialkit/core/fatal_error.h"
#include "serialkit/platform/application.h"

namespace sk {

enum TDetailLevel { dlSimple = 0, dlDetail = 1, dlDebug = 2 };

// One argument of a printf-like log format, keeping its kind so that the format can be
// checked against it.
using TLogArg = std::variant<std::int64_t, std::uint64_t, double, std::string>;
using TLogArgs = std::vector<TLogArg>;

template <class T>
TLogArg ToLogArg(const T& v) {
  if constexpr (std::is_same_v<T, bool>) {
    return TLogArg(std::uint64_t{v});
  } else if constexpr (std::is_enum_v<T>) {
    return ToLogArg(static_cast<std::underlying_type_t<T>>(v));
  } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
    return TLogArg(static_cast<std::int64_t>(v));
  } else if constexpr (std::is_integral_v<T>) {
    return TLogArg(static_cast<std::uint64_t>(v));
  } else if constexpr (std::is_floating_point_v<T>) {
    return TLogArg(static_cast<double>(v));
  } else if constexpr (std::is_pointer_v<T>) {
    // A C string; a null one is shown rather than read.
    return TLogArg(v != nullptr ? std::string(v) : std::string("(null)"));
  } else {
    return TLogArg(std::string(v));
  }
}

class TskCustomLogFile : public TComponent {
 public:
  // App: the application object whose error report hears what the sink cannot throw.
  explicit TskCustomLogFile(TComponent* AOwner = nullptr,
                            platform::TApplication& App = platform::Application())
      : TComponent(AOwner), app_(App) {}
  std::string ClassName() const override { return "TskCustomLogFile"; }
  platform::TApplication& App() const { return app_; }

  // In the thread whose log call or save failed.
  const TOnFatalErrorEvent& OnFatalError() const { return fOnFatalError; }
  void SetOnFatalError(TOnFatalErrorEvent Value) { fOnFatalError = std::move(Value); }

  virtual void ReportFatalError(std::uint32_t Code, std::uint32_t Detail, const std::string& Msg);
  virtual void Save() = 0;
  virtual void Clear() = 0;
  virtual void Add(std::string s) = 0;
  virtual void AddSysInfo() = 0;
  virtual void AddLog(TDetailLevel l, const std::string& s) = 0;
  virtual void AddFmt(const std::string& Format, const TLogArgs& Args) = 0;
  virtual void AddLogFmt(TDetailLevel l, const std::string& Format, const TLogArgs& Args) = 0;

  // Convenience: AddLogFmt(dlDebug, "Sent %u bytes", n).
  template <class... T>
  requires(sizeof...(T) > 0) void AddLogFmt(TDetailLevel l, const std::string& Format,
                                            const T&... args) {
    AddLogFmt(l, Format, TLogArgs{ToLogArg(args)...});
  }
  template <class... T>
  requires(sizeof...(T) > 0) void AddFmt(const std::string& Format, const T&... args) {
    AddFmt(Format, TLogArgs{ToLogArg(args)...});
  }

 protected:
  // Where a failure goes that nobody may be thrown to (a faulty entry hook, a save at
  // destruction): the application's error report, with the exception's own text.
  void ReportException(std::exception_ptr E = std::current_exception()) const noexcept;

  TOnFatalErrorEvent fOnFatalError;

 private:
  platform::TApplication& app_;
};

}  // namespace sk
