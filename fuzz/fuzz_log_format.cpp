// The log format checker under any format and any arguments: it never reads past the format
// or the arguments, never throws, and a format without directives comes out as it went in.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "fuzz/fuzz_input.h"
#include "serialkit/log/log_format.h"

namespace {

using packet_fuzz::FuzzInput;

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "log format broke an invariant: %s\n", what);
  std::abort();
}

sk::TLogArg Argument(FuzzInput& in) {
  std::uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits = bits << 8 | in.Byte();
  switch (in.Below(5)) {
    case 0:
      return static_cast<std::int64_t>(bits);
    case 1:
      return bits;
    case 2: {
      double d;
      std::memcpy(&d, &bits, sizeof d);
      return d;
    }
    case 3: {
      const double special[] = {std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity(),
                                std::numeric_limits<double>::quiet_NaN(),
                                0.0,
                                -0.0,
                                1e308};
      return special[bits % 6];
    }
    default:
      return std::string(in.Below(40), static_cast<char>(in.Byte()));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  sk::TLogArgs args(in.Below(6));
  for (auto& a : args) a = Argument(in);
  // The format is the whole input, so directives and arguments vary independently.
  const std::string format(reinterpret_cast<const char*>(data), size);
  const auto once = sk::FormatLogArgs(format, args);
  const auto again = sk::FormatLogArgs(format, args);
  Check(once == again, "the same result for the same format and arguments");
  if (format.find('%') == std::string::npos) {
    Check(once.has_value() && *once == format, "a format without directives is itself");
  }
  // Doubling every percent sign makes any format plain text with literal percent signs.
  std::string literal;
  for (char c : format) {
    literal += c;
    if (c == '%') literal += '%';
  }
  const auto plain = sk::FormatLogArgs(literal, args);
  Check(plain.has_value() && *plain == format, "%% is one percent sign");
  return 0;
}
