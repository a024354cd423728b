#include "serialkit/comm/terminal_binding.h"

#include <string>

namespace sk {

TskTerminalControl* TskTerminalBinding::Terminal() const {
  std::lock_guard lock(mutex_);
  return fTerminal;
}

TTerminalUsage TskTerminalBinding::Usage() const {
  std::lock_guard lock(mutex_);
  return fTerminalUsage;
}

bool TskTerminalBinding::Echo() const {
  std::lock_guard lock(mutex_);
  return fTerminalEcho;
}

void TskTerminalBinding::SetEcho(bool Value) {
  std::lock_guard lock(mutex_);
  fTerminalEcho = Value;
}

TskTerminalControl* TskTerminalBinding::Receiver() const {
  std::lock_guard lock(mutex_);
  return hTerminal;
}

void TskTerminalBinding::Bind(TskTerminalControl* Value, bool Designing) {
  std::lock_guard lock(mutex_);
  fTerminal = Value;
  hTerminal = nullptr;
  if (Value != nullptr && Designing && fTerminalUsage == tuNone) fTerminalUsage = tuBoth;
}

void TskTerminalBinding::SetUsage(TTerminalUsage Value) {
  std::lock_guard lock(mutex_);
  fTerminalUsage = Value;
  if (fTerminal != nullptr) hTerminal = Value == tuReceive || Value == tuBoth ? fTerminal : nullptr;
}

bool TskTerminalBinding::Forget(const TComponent* Component) {
  std::lock_guard lock(mutex_);
  if (Component == nullptr || Component != fTerminal) return false;
  fTerminal = nullptr;
  hTerminal = nullptr;
  return true;
}

bool TskTerminalBinding::SendsKeys() const {
  if (fTerminalLocked.load()) return false;
  std::lock_guard lock(mutex_);
  return fTerminalUsage == tuSend || fTerminalUsage == tuBoth;
}

void TskTerminalBinding::Write(const Byte* Buffer, std::int32_t Len) {
  TskTerminalControl* t = Receiver();
  if (t == nullptr || Len <= 0) return;
  fTerminalLocked.store(true);
  struct Unlock {
    std::atomic<bool>& locked;
    ~Unlock() { locked.store(false); }
  } unlock{fTerminalLocked};
  if (Len == 1) {
    t->WriteChar(static_cast<char16_t>(Buffer[0]));
    return;
  }
  std::u16string part;
  for (std::int32_t i = 0; i < Len; ++i) {
    if (Buffer[i] == 0) {
      if (!part.empty()) t->ReplaceSelection(part);
      part.clear();
    } else {
      part.push_back(static_cast<char16_t>(Buffer[i]));
    }
  }
  if (!part.empty()) t->ReplaceSelection(part);
}

}  // namespace sk
