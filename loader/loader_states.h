#pragma once
// The loader loop's states by number, as the status bar shows them (145 and 147 are unused).
#include <cstdint>

namespace bootshell::loader {

enum TLoaderState : std::int32_t {
  lsLoadImage = 140,
  lsSendAddress = 141,
  lsWaitAddressAnswer = 142,
  lsSendBlock = 143,
  lsWaitBlockAnswer = 144,
  lsImageWritten = 146,
  lsSendHandshake = 998,
  lsWaitHandshake = 999,
  lsIdle = 1000,
};

}  // namespace bootshell::loader
