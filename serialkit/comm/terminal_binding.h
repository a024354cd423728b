#pragma once
// The edit control a port is bound to as its terminal: which control, what it is used for, and
// the control that received bytes are written into. Those are set in one thread and read in
// the receiving one, and are read together, so one lock guards them.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "serialkit/comm/comm_types.h"
#include "serialkit/comm/controls.h"
#include "serialkit/core/bytes.h"

namespace sk {

class TskTerminalBinding {
 public:
  TskTerminalBinding() = default;
  TskTerminalBinding(const TskTerminalBinding&) = delete;
  TskTerminalBinding& operator=(const TskTerminalBinding&) = delete;

  TskTerminalControl* Terminal() const;
  TTerminalUsage Usage() const;
  bool Echo() const;
  void SetEcho(bool Value);
  // The control received bytes go to: the terminal while its usage receives, else none.
  TskTerminalControl* Receiver() const;

  // Binds Value (null: none); nothing receives until the usage is applied again. At design
  // time a control bound while the usage is tuNone gets tuBoth.
  void Bind(TskTerminalControl* Value, bool Designing);
  // Stores the usage and, with a terminal bound, chooses the receiver by it.
  void SetUsage(TTerminalUsage Value);
  // Unbinds Component if it is the terminal (it is being destroyed); true if it was.
  bool Forget(const TComponent* Component);

  // Whether a typed key is to be sent: the usage sends and the key is not one of the bytes
  // that Write is putting into the control.
  bool SendsKeys() const;
  // Writes received bytes into the receiver: each byte the character of that code; zero
  // bytes end a part and are dropped.
  void Write(const Byte* Buffer, std::int32_t Len);

 private:
  mutable std::mutex mutex_;
  TskTerminalControl* fTerminal = nullptr;
  TskTerminalControl* hTerminal = nullptr;
  TTerminalUsage fTerminalUsage = tuNone;
  bool fTerminalEcho = false;
  // Set by the thread writing into the control while it does, so that the keys that writing
  // produces are not sent; a flag of its own, as the lock is not held across the control's calls.
  std::atomic<bool> fTerminalLocked{false};
};

}  // namespace sk
