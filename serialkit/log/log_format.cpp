#include "serialkit/log/log_format.h"

#include <fmt/printf.h>

#include <cstdint>
#include <string_view>

namespace sk {

namespace {

// Beyond this a width or precision is a mistake, not a layout: refuse it rather than build a
// megabyte of padding.
constexpr std::int64_t kMaxWidth = 1024;

bool IsIntegerConversion(char c) {
  return std::string_view("diuxXo").find(c) != std::string_view::npos;
}
bool IsFloatConversion(char c) {
  return std::string_view("eEfFgGaA").find(c) != std::string_view::npos;
}

// Reads a directive one step at a time and pulls its arguments; any failure leaves ok false.
// Flags that mean nothing for a conversion are a mistake in the format (undefined in C).
bool FlagsFit(const std::string& Flags, char Conversion) {
  auto has = [&](char f) { return Flags.find(f) != std::string::npos; };
  if (Conversion == 's' || Conversion == 'c')
    return !has('+') && !has(' ') && !has('#') && !has('0');
  if (Conversion == 'd' || Conversion == 'i' || Conversion == 'u') return !has('#');
  return true;
}

class Directive {
 public:
  Directive(std::string_view Format, std::size_t& Pos, const TLogArgs& Args, std::size_t& Next)
      : format_(Format), pos_(Pos), args_(Args), next_(Next) {}

  // Appends the directive's text to Out; false when it cannot be filled.
  bool FormatInto(std::string& Out) {
    std::string flags;
    while (pos_ < format_.size() &&
           std::string_view("-+ #0").find(format_[pos_]) != std::string_view::npos)
      flags += format_[pos_++];
    std::optional<std::int64_t> width, precision;
    if (!ReadNumber(width)) return false;
    if (width && *width < 0) {  // a negative "*" width means left-justified
      flags += '-';
      width = -*width;
    }
    if (pos_ < format_.size() && format_[pos_] == '.') {
      ++pos_;
      if (!ReadNumber(precision)) return false;
      if (!precision) precision = 0;          // "%.d" is precision 0
      if (*precision < 0) precision.reset();  // a negative "*" precision counts as none
    }
    if ((width && *width > kMaxWidth) || (precision && *precision > kMaxWidth)) return false;
    while (pos_ < format_.size() &&
           std::string_view("hljztLq").find(format_[pos_]) != std::string_view::npos)
      ++pos_;
    if (pos_ >= format_.size()) return false;
    const char conversion = format_[pos_++];
    if (!FlagsFit(flags, conversion)) return false;

    std::string spec = "%" + flags;
    if (width) spec += std::to_string(*width);
    if (precision) spec += "." + std::to_string(*precision);
    const TLogArg* arg = NextArg();
    if (arg == nullptr) return false;

    if (IsIntegerConversion(conversion)) {
      spec += conversion;
      if (const auto* v = std::get_if<std::int64_t>(arg)) return Put(Out, spec, *v);
      if (const auto* v = std::get_if<std::uint64_t>(arg)) return Put(Out, spec, *v);
      return false;
    }
    if (IsFloatConversion(conversion)) {
      spec += conversion;
      if (const auto* v = std::get_if<double>(arg)) return Put(Out, spec, *v);
      return false;
    }
    if (conversion == 's') {
      spec += 's';
      if (const auto* v = std::get_if<std::string>(arg)) return Put(Out, spec, *v);
      return false;
    }
    if (conversion == 'c') {
      std::optional<std::string> character = CharacterOf(*arg);
      if (!character) return false;
      // Only the justification applies to a character.
      std::string charSpec = flags.find('-') != std::string::npos ? "%-" : "%";
      if (width) charSpec += std::to_string(*width);
      return Put(Out, charSpec + "s", *character);
    }
    return false;
  }

 private:
  const TLogArg* NextArg() { return next_ < args_.size() ? &args_[next_++] : nullptr; }

  // Digits, or "*" taking an integer argument; absent leaves Value empty.
  bool ReadNumber(std::optional<std::int64_t>& Value) {
    if (pos_ < format_.size() && format_[pos_] == '*') {
      ++pos_;
      const TLogArg* arg = NextArg();
      if (arg == nullptr) return false;
      if (const auto* v = std::get_if<std::int64_t>(arg)) {
        if (*v < -kMaxWidth || *v > kMaxWidth) return false;
        Value = *v;
        return true;
      }
      if (const auto* v = std::get_if<std::uint64_t>(arg)) {
        if (*v > static_cast<std::uint64_t>(kMaxWidth)) return false;
        Value = static_cast<std::int64_t>(*v);
        return true;
      }
      return false;
    }
    std::int64_t n = 0;
    bool any = false;
    while (pos_ < format_.size() && format_[pos_] >= '0' && format_[pos_] <= '9') {
      n = n * 10 + (format_[pos_++] - '0');
      if (n > kMaxWidth) return false;
      any = true;
    }
    if (any) Value = n;
    return true;
  }

  // The UTF-8 text of a character code.
  static std::optional<std::string> CharacterOf(const TLogArg& Arg) {
    std::uint64_t code;
    if (const auto* v = std::get_if<std::int64_t>(&Arg)) {
      if (*v < 0) return std::nullopt;
      code = static_cast<std::uint64_t>(*v);
    } else if (const auto* u = std::get_if<std::uint64_t>(&Arg)) {
      code = *u;
    } else {
      return std::nullopt;
    }
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return std::nullopt;
    std::string out;
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
    return out;
  }

  // The directive has been checked against its argument; the formatter still refuses what it
  // finds wrong, and a refusal is a format error like any other.
  template <class T>
  static bool Put(std::string& Out, const std::string& Spec, const T& Value) {
    try {
      Out += fmt::sprintf(Spec, Value);
      return true;
    } catch (const fmt::format_error&) {
      return false;
    }
  }

  std::string_view format_;
  std::size_t& pos_;
  const TLogArgs& args_;
  std::size_t& next_;
};

}  // namespace

std::optional<std::string> FormatLogArgs(std::string_view Format, const TLogArgs& Args) {
  std::string out;
  out.reserve(Format.size() + 16 * Args.size());
  std::size_t pos = 0, next = 0;
  while (pos < Format.size()) {
    std::size_t percent = Format.find('%', pos);
    if (percent == std::string_view::npos) {
      out.append(Format.substr(pos));
      break;
    }
    out.append(Format.substr(pos, percent - pos));
    pos = percent + 1;
    if (pos < Format.size() && Format[pos] == '%') {
      out += '%';
      ++pos;
      continue;
    }
    if (!Directive(Format, pos, Args, next).FormatInto(out)) return std::nullopt;
  }
  return out;
}

}  // namespace sk
