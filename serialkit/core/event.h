#pragma once
// Events are delegates: a handler together with the object it belongs to. Two events are the
// same subscriber only when both the object and the handler match, so one handler bound to
// two objects counts twice.
#include <array>
#include <cstring>
#include <functional>
#include <typeinfo>
#include <utility>

namespace sk {

template <class Signature>
class TEvent;

template <class R, class... Args>
class TEvent<R(Args...)> {
 public:
  TEvent() = default;
  TEvent(std::nullptr_t) {}

  // A method of an object: TEvent(this, &TForm3::skDataProcessor1DataPacket).
  template <class T, class Method>
    requires std::is_member_function_pointer_v<Method>
  TEvent(T* object, Method method)
      : fn_([object, method](Args... args) -> R {
          return (object->*method)(std::forward<Args>(args)...);
        }),
        object_(object) {
    static_assert(sizeof(Method) <= sizeof(identity_), "member pointer too large");
    identity_.fill(0);
    std::memcpy(identity_.data(), &method, sizeof(Method));
    handlerType_ = &typeid(Method);
  }

  // Any callable, identified by its object and the callable's type.
  template <class F>
  static TEvent Bind(const void* object, F&& f) {
    TEvent e;
    e.fn_ = std::forward<F>(f);
    e.object_ = object;
    e.identity_.fill(0);
    e.handlerType_ = &typeid(std::decay_t<F>);
    return e;
  }

  explicit operator bool() const { return static_cast<bool>(fn_); }
  R operator()(Args... args) const { return fn_(std::forward<Args>(args)...); }

  const void* Object() const { return object_; }
  bool SameHandler(const TEvent& other) const {
    if (object_ != other.object_ || identity_ != other.identity_) return false;
    if (handlerType_ == nullptr || other.handlerType_ == nullptr)
      return handlerType_ == other.handlerType_;
    return *handlerType_ == *other.handlerType_;
  }

 private:
  std::function<R(Args...)> fn_;
  const void* object_ = nullptr;
  std::array<unsigned char, 2 * sizeof(void*)> identity_{};
  const std::type_info* handlerType_ = nullptr;
};

class TObject;
using TNotifyEvent = TEvent<void(TObject* Sender)>;

}  // namespace sk
