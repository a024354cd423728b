// Thread messages over PostThreadMessageW/GetMessageW/PeekMessageW, and timers as SetTimer on a
// hidden message-only window of the owning thread.
#include <windows.h>

#include <memory>
#include <string>

#include "serialkit/core/exception.h"
#include "serialkit/platform/native_handle.h"
#include "serialkit/platform/system_error.h"
#include "serialkit/platform/win32/system_queue.h"
#include "serialkit/platform/win32/window_class.h"

namespace sk::platform::sysqueue {

namespace {

// Private numbers below the registered range, so that a thread taking only registered
// messages never meets them: the end of a batch that Drain serves, and the requests another
// thread makes of a timer window.
constexpr UINT kEndOfBatch = WM_APP + 0x3FF0;
constexpr UINT kArmTimer = WM_APP + 0x3FF1;
constexpr UINT kCloseTimer = WM_APP + 0x3FF2;
constexpr UINT_PTR kTimerId = 1;
static_assert(kCallMessage == WM_APP + 0x3FF3, "a private number of its own");
constexpr const wchar_t* kTimerClass = L"SerialKitTimerWindow";

struct TimerData {
  std::function<void()> onTick;
};

LRESULT CALLBACK TimerProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  auto* data = reinterpret_cast<TimerData*>(::GetWindowLongPtrW(Window, GWLP_USERDATA));
  switch (Message) {
    case WM_TIMER:
      if (data != nullptr && WParam == kTimerId && data->onTick) data->onTick();
      return 0;
    case kArmTimer:
      if (WParam == 0)
        ::KillTimer(Window, kTimerId);
      else
        ::SetTimer(Window, kTimerId, static_cast<UINT>(WParam), nullptr);
      return 0;
    case kCloseTimer:
      ::DestroyWindow(Window);
      return 0;
    case WM_NCDESTROY:
      // The window owns its data: it goes with the window, in the window's thread.
      ::SetWindowLongPtrW(Window, GWLP_USERDATA, 0);
      std::unique_ptr<TimerData>(data).reset();
      break;
    default:
      break;
  }
  return ::DefWindowProcW(Window, Message, WParam, LParam);
}

bool RegisterTimerClass() {
  static const bool registered = win32::RegisterWindowClass(kTimerClass, TimerProc);
  return registered;
}

[[noreturn]] void Fail(const char* Call) {
  const DWORD error = ::GetLastError();
  throw SystemException(Call + SystemErrorText(error), error);
}

// Keys become characters on the way, as in any window's loop: a loop serving the queue
// while a window is up must leave its edit lines typeable.
void Dispatch(const MSG& M) {
  ::TranslateMessage(&M);
  ::DispatchMessageW(&M);
}

TMsg FromSystem(const MSG& M) {
  return TMsg{M.message, M.wParam, M.lParam, static_cast<std::uint32_t>(M.time)};
}

}  // namespace

TSystemThread CreateForThisThread() {
  MSG m;
  // The system makes a thread's queue the first time the thread looks at it.
  ::PeekMessageW(&m, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  return ::GetCurrentThreadId();
}

bool Post(TSystemThread Thread, const TMsg& Msg) {
  return ::PostThreadMessageW(Thread, Msg.message, Msg.wParam, Msg.lParam) != 0;
}

bool PostQuit(TSystemThread Thread) {
  return ::PostThreadMessageW(Thread, WM_QUIT, 0, 0) != 0;
}

TTaken Take(TMsg& Msg, std::uint32_t Min, std::uint32_t Max, bool Wait, bool Remove,
            std::intptr_t WakeEvent) {
  const bool any = Min == 0 && Max == 0;
  // Only a range that holds the quit message lets GetMessage end with it; other ranges look
  // for it on their own, after the messages.
  const bool quitInRange = any || (Min <= WM_QUIT && WM_QUIT <= Max);
  const UINT remove = Remove ? PM_REMOVE : PM_NOREMOVE;
  for (;;) {
    MSG m;
    if (Wait && quitInRange) {
      const BOOL got = ::GetMessageW(&m, nullptr, Min, Max);
      if (got == 0) return TTaken::quit;
      if (got == -1) Fail("GetMessage: ");
    } else {
      // Reset before the looks: a post that comes after them signals it again. The system's
      // own "new input" flag cannot serve here: each look, whatever its range, clears it.
      if (Wait && WakeEvent != kNoNativeHandle) ::ResetEvent(reinterpret_cast<HANDLE>(WakeEvent));
      if (!::PeekMessageW(&m, nullptr, Min, Max, remove)) {
        if (!quitInRange && ::PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) {
          // What the range holds was posted before the quit, even when it came in after the
          // look above: it goes first.
          if (::PeekMessageW(&m, nullptr, Min, Max, PM_NOREMOVE)) continue;
          if (Remove) ::PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
          return TTaken::quit;
        }
        if (!Wait) return TTaken::none;
        sysqueue::Wait({WakeEvent}, -1, false);
        continue;
      }
    }
    if (m.message == WM_QUIT) return TTaken::quit;
    if (m.hwnd == nullptr) {
      if (m.message == kCallMessage || m.message == kEndOfBatch) {
        if (!Remove) ::PeekMessageW(&m, nullptr, m.message, m.message, PM_REMOVE);
        continue;  // not a message: the application runs its calls after the next batch
      }
      Msg = FromSystem(m);
      return TTaken::message;
    }
    if (!Remove) {  // a window message ahead: serve it, then look again
      ::PeekMessageW(&m, m.hwnd, m.message, m.message, PM_REMOVE);
    }
    Dispatch(m);
  }
}

int Wait(std::initializer_list<std::intptr_t> Handles, int TimeoutMs, bool Queued) {
  HANDLE handles[MAXIMUM_WAIT_OBJECTS - 1] = {};
  int index[MAXIMUM_WAIT_OBJECTS - 1] = {};
  DWORD n = 0;
  int i = 0;
  for (std::intptr_t h : Handles) {
    if (h != kNoNativeHandle && n < MAXIMUM_WAIT_OBJECTS - 1) {
      handles[n] = reinterpret_cast<HANDLE>(h);
      index[n++] = i;
    }
    ++i;
  }
  const DWORD r = ::MsgWaitForMultipleObjectsEx(
      n, handles, TimeoutMs < 0 ? INFINITE : static_cast<DWORD>(TimeoutMs),
      Queued ? QS_ALLINPUT : QS_POSTMESSAGE | QS_SENDMESSAGE | QS_TIMER,
      Queued ? MWMO_INPUTAVAILABLE : 0);
  if (r < WAIT_OBJECT_0 + n) return index[r - WAIT_OBJECT_0];
  if (r == WAIT_OBJECT_0 + n) return static_cast<int>(Handles.size());
  return -1;
}

bool Drain(const std::function<void(const TMsg&)>& OnMessage) {
  // A marker ends the batch, so that what the batch posts waits for the next one.
  const bool marked = ::PostThreadMessageW(::GetCurrentThreadId(), kEndOfBatch, 0, 0) != 0;
  bool served = false;
  int quits = 0;
  MSG m;
  while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.hwnd == nullptr && m.message == kEndOfBatch) break;
    served = true;
    if (m.message == WM_QUIT)
      ++quits;
    else if (m.hwnd != nullptr)
      Dispatch(m);
    else if (OnMessage)
      OnMessage(FromSystem(m));
    if (!marked) break;  // no marker: one at a time
  }
  // Input and painting come after posted messages in the system's order, so the marker ends
  // the batch before them: they are served here, else a window served only by this loop would
  // never see a click and its waits would end at once on the input still queued.
  while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE | PM_QS_INPUT | PM_QS_PAINT)) {
    served = true;
    if (m.hwnd != nullptr)
      Dispatch(m);
    else if (OnMessage)
      OnMessage(FromSystem(m));
  }
  // Timer ticks come only while no posted message waits: now, with the batch served.
  while (::PeekMessageW(&m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) {
    served = true;
    ::DispatchMessageW(&m);
  }
  for (; quits > 0; --quits) PostQuit(::GetCurrentThreadId());
  return served;
}

SystemTimer::SystemTimer(std::function<void()> OnTick) : owner_(::GetCurrentThreadId()) {
  if (!RegisterTimerClass()) Fail("RegisterClassEx: ");
  HWND w = ::CreateWindowExW(0, kTimerClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             ::GetModuleHandleW(nullptr), nullptr);
  if (w == nullptr) Fail("CreateWindow: ");
  auto data = std::make_unique<TimerData>();
  data->onTick = std::move(OnTick);
  ::SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(data.release()));
  window_ = reinterpret_cast<std::intptr_t>(w);
}

SystemTimer::~SystemTimer() {
  HWND w = reinterpret_cast<HWND>(window_);
  if (::GetCurrentThreadId() == owner_)
    ::DestroyWindow(w);
  else
    ::PostMessageW(w, kCloseTimer, 0, 0);  // fails when the thread, and the window, are gone
}

void SystemTimer::Arm(std::uint32_t IntervalMs) {
  HWND w = reinterpret_cast<HWND>(window_);
  if (::GetCurrentThreadId() != owner_) {
    // A window's timers are set only in the window's own thread.
    ::PostMessageW(w, kArmTimer, IntervalMs, 0);
  } else if (IntervalMs == 0) {
    ::KillTimer(w, kTimerId);
  } else {
    ::SetTimer(w, kTimerId, IntervalMs, nullptr);
  }
}

}  // namespace sk::platform::sysqueue
