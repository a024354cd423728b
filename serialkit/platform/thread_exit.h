#pragma once
// Work for the end of the calling thread, such as giving back what the thread held. Unlike a
// destructor of a thread_local object, it runs at a point where the system's thread-local
// storage is still whole, on every system the library builds for.
#include <functional>

namespace sk::platform {

// Runs Fn in the calling thread as it ends, after the functions it registered before. Fn must
// not use the thread's thread_local objects, which may be gone by then.
void AtThreadExit(std::function<void()> Fn);

}  // namespace sk::platform
