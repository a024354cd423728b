#pragma once
// printf-like formatting of log entries, checked against the arguments' kinds.
#include <optional>
#include <string>
#include <string_view>

#include "serialkit/log/custom_log_file.h"

namespace sk {

// Fills Format's directives (%[flags][width][.precision]conversion, width and precision also
// as "*") with Args in order. Conversions: d i u x X o for integers, e E f F g G a A for
// floating-point numbers, s for text, c for an integer character code, %% for a percent sign.
// Length modifiers (l, ll, h, z ...) are accepted and ignored: the arguments carry their own size.
// Arguments left over are ignored. Empty when the format is malformed, an argument is missing,
// or an argument's kind does not fit its directive.
std::optional<std::string> FormatLogArgs(std::string_view Format, const TLogArgs& Args);

}  // namespace sk
