#pragma once
#include <cstdint>
#include <string>

#include "serialkit/core/event.h"

namespace sk {

// Raised by a component's fatal-error path before it throws; clearing RaiseException stops
// the exception.
using TOnFatalErrorEvent = TEvent<void(TObject* Sender, std::uint32_t ErrorCode,
                                       std::uint32_t Detail, const std::string& ErrorMsg,
                                       bool& RaiseException)>;

}  // namespace sk
