#pragma once
// An event property that worker threads read while the main thread may replace it. A reader
// takes a reference to the handler current at that moment and calls it without any lock held.
#include <memory>
#include <mutex>
#include <utility>

namespace sk {

template <class E>
class TSharedEvent {
 public:
  void Set(E Value) {
    auto next = std::make_shared<const E>(std::move(Value));
    std::lock_guard lock(mutex_);
    current_ = std::move(next);
  }
  E Get() const {
    auto p = Current();
    return p ? *p : E{};
  }
  bool IsSet() const {
    auto p = Current();
    return p && static_cast<bool>(*p);
  }
  // Calls the handler if one is set; the result says whether one was.
  template <class... A>
  bool Call(A&&... args) const {
    auto p = Current();
    if (!p || !*p) return false;
    (*p)(std::forward<A>(args)...);
    return true;
  }

 private:
  std::shared_ptr<const E> Current() const {
    std::lock_guard lock(mutex_);
    return current_;
  }

  mutable std::mutex mutex_;
  std::shared_ptr<const E> current_;
};

}  // namespace sk
