// The device watcher: a thread of its own with a hidden top-level window, which the system's
// device broadcasts reach (a message-only window would miss them). Port arrivals and
// removals and "device nodes changed" go to the creating thread as the neutral message.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <future>
#include <thread>

#include "serialkit/core/exception.h"
#include "serialkit/platform/application.h"
#include "serialkit/platform/device_watcher.h"
#include "serialkit/platform/system_error.h"
#include "serialkit/platform/win32/utf16.h"
#include "serialkit/platform/win32/window_class.h"

namespace sk::platform {

namespace {

// The wide port header a sender broadcasts: the common header, then the port's name.
struct WidePortHeader {
  DEV_BROADCAST_HDR Header;
  wchar_t Name[1];
};

constexpr const wchar_t* kWindowClass = L"SerialKitDeviceWatcher";

LRESULT CALLBACK WatcherProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);

bool RegisterWatcherClass() {
  static const bool registered = win32::RegisterWindowClass(kWindowClass, WatcherProc);
  return registered;
}

}  // namespace

struct DeviceWatcher::State {
  Handler onChange;
  TThreadID owner = 0;
  std::atomic<bool> alive{true};
  std::atomic<DWORD> threadId{0};
  std::thread thread;
  std::weak_ptr<State> self;

  // Hands one event to the owner's thread. The call holds the state, so a watcher destroyed
  // meanwhile leaves it valid; the flag, set and read in the owner's thread, drops the call.
  void Post(std::uintptr_t Event, const std::string& Name, bool WithPort) {
    auto keep = self.lock();
    if (!keep) return;
    Application().PostCall(owner, [keep, Event, Name, WithPort] {
      if (!keep->alive.load()) return;
      DEV_BROADCAST_PORT port;
      std::strncpy(port.dbcp_name, Name.c_str(), sizeof port.dbcp_name - 1);
      TDeviceChangeMessage msg{WM_DEVICECHANGE, Event, WithPort ? &port.Header : nullptr, 0};
      keep->onChange(msg);
    });
  }

  void Receive(WPARAM Event, LPARAM Header) {
    if (Event == DBT_DEVNODES_CHANGED) {
      Post(Event, {}, false);
      return;
    }
    if (Event != DBT_DEVICEARRIVAL && Event != DBT_DEVICEREMOVECOMPLETE) return;
    const auto* hdr = reinterpret_cast<const DEV_BROADCAST_HDR*>(Header);
    if (hdr == nullptr || hdr->dbch_devicetype != DBT_DEVTYP_PORT ||
        hdr->dbch_size < offsetof(WidePortHeader, Name))
      return;
    // The name runs to its NUL, but never past the size the sender gave.
    const auto* port = reinterpret_cast<const WidePortHeader*>(hdr);
    const std::size_t room = (hdr->dbch_size - offsetof(WidePortHeader, Name)) / sizeof(wchar_t);
    std::size_t n = 0;
    while (n < room && port->Name[n] != L'\0') ++n;
    Post(Event, win32::FromUtf16(std::wstring_view(port->Name, n)), true);
  }

  void Run(std::promise<DWORD>& Started) {
    threadId.store(::GetCurrentThreadId());
    if (!RegisterWatcherClass()) {
      Started.set_value(::GetLastError());
      return;
    }
    HWND window = ::CreateWindowExW(0, kWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) {
      Started.set_value(::GetLastError());
      return;
    }
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    Started.set_value(0);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
    ::DestroyWindow(window);
  }
};

namespace {

LRESULT CALLBACK WatcherProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  if (Message == WM_DEVICECHANGE) {
    auto* state =
        reinterpret_cast<DeviceWatcher::State*>(::GetWindowLongPtrW(Window, GWLP_USERDATA));
    if (state != nullptr) state->Receive(WParam, LParam);
    return TRUE;
  }
  return ::DefWindowProcW(Window, Message, WParam, LParam);
}

}  // namespace

DeviceWatcher::DeviceWatcher(Handler OnChange, std::string) : state_(std::make_shared<State>()) {
  State& s = *state_;
  s.onChange = std::move(OnChange);
  s.owner = Application().EnsureMessageQueue();
  s.self = state_;
  std::promise<DWORD> started;
  auto result = started.get_future();
  s.thread = std::thread([&s, &started] { s.Run(started); });
  const DWORD error = result.get();
  if (error != 0) {
    s.thread.join();
    throw Exception("Device watcher: " + SystemErrorText(error));
  }
}

DeviceWatcher::~DeviceWatcher() {
  state_->alive.store(false);
  // The thread's queue exists: its window was made before the constructor returned.
  ::PostThreadMessageW(state_->threadId.load(), WM_QUIT, 0, 0);
  state_->thread.join();
}

// The system's device manager tells of every device; there is no folder to watch.
bool DeviceWatcher::UsesDeviceMonitor() const {
  return true;
}

}  // namespace sk::platform
