#pragma once
// The library's exception class, apart from the component framework so that the system layer
// can throw it without depending on components.
#include <stdexcept>

namespace sk {

// Error thrown by components (the framework's exception class).
class Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace sk
