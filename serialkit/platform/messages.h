#pragma once
// Thread messages: numbers registered by name for the whole process, and the record a
// posted message travels in. The queues that carry them belong to the application object
// (platform/application.h).
//
// The names differ from the Win32 functions these stand in for (RegisterWindowMessageW,
// PostThreadMessageW, GetMessageW, PeekMessageW) because <windows.h> defines those as macros.
#include <cstdint>
#include <string_view>

namespace sk::platform {

// Identifies a thread for posting to it. Ids are given out in order as threads first ask for
// theirs and are never reused within a process, so a post can never reach a later thread
// that happens to inherit a dead thread's system id. 0 is no thread.
using TThreadID = std::uint32_t;

// The calling thread's id.
TThreadID CurrentThreadId();

// The range of numbers that registered messages use.
inline constexpr std::uint32_t kFirstRegisteredMessage = 0xC000;
inline constexpr std::uint32_t kLastRegisteredMessage = 0xFFFF;

// The number registered for Name: the same name (compared without regard to ASCII case, like
// the system's atom table) gives the same number for the whole process, in
// kFirstRegisteredMessage..kLastRegisteredMessage. 0 for an empty name or a full table.
// Thread-safe.
std::uint32_t RegisterMessage(std::string_view Name);

// One posted thread message. Thread messages have no window.
struct TMsg {
  std::uint32_t message = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
  std::uint32_t time = 0;  // millisecond tick when it was posted
};

}  // namespace sk::platform
