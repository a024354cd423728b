// The device watcher: a thread that blocks in poll() on the udev monitor (when a udev daemon
// runs) or an inotify watch of the device folder, plus an inotify watch of the port-map
// override folder and a wake-up descriptor for stopping.
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <thread>

#include "serialkit/core/exception.h"
#include "serialkit/discovery/port_numbering.h"
#include "serialkit/platform/application.h"
#include "serialkit/platform/device_roots.h"
#include "serialkit/platform/device_watcher.h"
#include "serialkit/platform/port_map.h"
#include "serialkit/platform/posix/udev_library.h"

namespace sk::platform {

namespace {

// A name of the device folder that is a serial port's node.
bool IsSerialNode(const std::string& Name) {
  const TtyKind k = SplitTtyName(Name);
  if (!k.Number) return false;
  if (k.Kind == "rfcomm" || k.Kind == "ircomm") return true;
  return k.Kind.size() > 3 && k.Kind.compare(0, 3, "tty") == 0;
}

class Descriptor {
 public:
  explicit Descriptor(int Fd = -1) : fd_(Fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

struct Monitor {
  const udev::Library* lib = nullptr;
  udev::udev* context = nullptr;
  udev::udev_monitor* monitor = nullptr;
  ~Monitor() {
    if (monitor != nullptr) lib->udev_monitor_unref(monitor);
    if (context != nullptr) lib->udev_unref(context);
  }
  // A monitor of tty devices, when a udev daemon runs to send its events.
  bool Open() {
    lib = udev::Get();
    std::error_code ec;
    if (lib == nullptr || !std::filesystem::exists("/run/udev/control", ec)) return false;
    context = lib->udev_new();
    if (context == nullptr) return false;
    monitor = lib->udev_monitor_new_from_netlink(context, "udev");
    return monitor != nullptr &&
           lib->udev_monitor_filter_add_match_subsystem_devtype(monitor, "tty", nullptr) >= 0 &&
           lib->udev_monitor_enable_receiving(monitor) >= 0;
  }
  int Fd() const { return monitor != nullptr ? lib->udev_monitor_get_fd(monitor) : -1; }
};

}  // namespace

struct DeviceWatcher::State {
  Handler onChange;
  TThreadID owner = 0;
  std::atomic<bool> alive{true};
  Descriptor wake{::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
  Descriptor inotify{::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)};
  int devWatch = -1;
  int overrideWatch = -1;
  // The override folder, and whether overrideWatch is on it or on a folder above it that
  // exists while it does not (the watcher creates nothing). The watcher thread's after start.
  std::filesystem::path overrideDir;
  bool overrideWatched = false;
  Monitor monitor;
  bool usesMonitor = false;
  std::thread thread;

  // Hands one event to the owner's thread. The call holds the state, so a watcher destroyed
  // meanwhile leaves it valid; the flag, set and read in the owner's thread, drops the call.
  void Post(std::uintptr_t Event, const std::string& Name, const std::shared_ptr<State>& Self) {
    Application().PostCall(owner, [Self, Event, Name] {
      if (!Self->alive.load()) return;
      DEV_BROADCAST_PORT port;
      std::strncpy(port.dbcp_name, Name.c_str(), sizeof port.dbcp_name - 1);
      TDeviceChangeMessage msg{WM_DEVICECHANGE, Event, &port.Header, 0};
      Self->onChange(msg);
    });
  }

  static constexpr std::uint32_t kEntries = IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM;

  // Watches the override folder when it exists, else the nearest folder above it that does,
  // for the next folder on the way. With Self, the entries found in a folder that has just
  // appeared arrive as if they had been created under the watch.
  void WatchOverride(const std::shared_ptr<State>* Self) {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (;;) {
      fs::path at = overrideDir;
      while (!fs::is_directory(at, ec) && at.has_relative_path()) at = at.parent_path();
      if (overrideWatch >= 0) ::inotify_rm_watch(inotify.Get(), overrideWatch);
      overrideWatched = at == overrideDir;
      overrideWatch = ::inotify_add_watch(inotify.Get(), at.c_str(),
                                          overrideWatched ? kEntries : IN_CREATE | IN_MOVED_TO);
      if (overrideWatched) {
        if (Self)
          for (const auto& entry : fs::directory_iterator(at, ec))
            if (auto n = ComPortNumber(entry.path().filename().string()))
              Post(DBT_DEVICEARRIVAL, ComPortName(*n), *Self);
        return;
      }
      // A folder on the way made before the watch was in place: go down at once.
      const fs::path next = at / overrideDir.lexically_relative(at).begin()->string();
      if (overrideWatch < 0 || !fs::is_directory(next, ec)) return;
    }
  }

  void ReadInotify(const std::shared_ptr<State>& Self) {
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
      const ssize_t n = ::read(inotify.Get(), buffer, sizeof buffer);
      if (n <= 0) return;
      for (ssize_t at = 0; at < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        if (e->len == 0) continue;
        const std::string name = e->name;
        const bool arrived = (e->mask & (IN_CREATE | IN_MOVED_TO)) != 0;
        const bool left = (e->mask & (IN_DELETE | IN_MOVED_FROM)) != 0;
        if (!arrived && !left) continue;
        if (e->wd == overrideWatch && !overrideWatched) {
          if (arrived) WatchOverride(&Self);
          continue;
        }
        if (e->wd == overrideWatch && ComPortNumber(name))
          Post(arrived ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE,
               ComPortName(*ComPortNumber(name)), Self);
        else if (e->wd == devWatch && IsSerialNode(name))
          Post(arrived ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE, name, Self);
      }
    }
  }

  void ReadMonitor(const std::shared_ptr<State>& Self) {
    const udev::Library& lib = *monitor.lib;
    while (udev::udev_device* device = lib.udev_monitor_receive_device(monitor.monitor)) {
      const char* action = lib.udev_device_get_action(device);
      const char* name = lib.udev_device_get_sysname(device);
      if (action != nullptr && name != nullptr && IsSerialNode(name)) {
        if (std::strcmp(action, "add") == 0)
          Post(DBT_DEVICEARRIVAL, name, Self);
        else if (std::strcmp(action, "remove") == 0)
          Post(DBT_DEVICEREMOVECOMPLETE, name, Self);
      }
      lib.udev_device_unref(device);
    }
  }

  void Run(const std::shared_ptr<State>& Self) {
    pollfd fds[3] = {
        {wake.Get(), POLLIN, 0}, {inotify.Get(), POLLIN, 0}, {monitor.Fd(), POLLIN, 0}};
    for (;;) {
      if (::poll(fds, 3, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[0].revents != 0) return;
      if (fds[1].revents != 0) ReadInotify(Self);
      if (fds[2].revents != 0) ReadMonitor(Self);
    }
  }
};

DeviceWatcher::DeviceWatcher(Handler OnChange, std::string OverrideDir)
    : state_(std::make_shared<State>()) {
  State& s = *state_;
  s.onChange = std::move(OnChange);
  s.owner = Application().EnsureMessageQueue();
  if (s.wake.Get() < 0 || s.inotify.Get() < 0)
    throw Exception(std::string("Device watcher: ") + std::strerror(errno));
  if (OverrideDir.empty()) OverrideDir = PortMap::DefaultOverrideDir();
  s.overrideDir = std::filesystem::path(OverrideDir).lexically_normal();
  if (!s.overrideDir.has_filename()) s.overrideDir = s.overrideDir.parent_path();  // "ports/"
  s.WatchOverride(nullptr);
  s.usesMonitor = s.monitor.Open();
  if (!s.usesMonitor)
    s.devWatch = ::inotify_add_watch(s.inotify.Get(), DevRoot().c_str(), State::kEntries);
  if (s.overrideWatch < 0 && s.devWatch < 0 && !s.usesMonitor)
    throw Exception(std::string("Device watcher: ") + std::strerror(errno));
  s.thread = std::thread([self = state_] { self->Run(self); });
}

DeviceWatcher::~DeviceWatcher() {
  state_->alive.store(false);
  const std::uint64_t one = 1;
  (void)!::write(state_->wake.Get(), &one, sizeof one);
  state_->thread.join();
}

bool DeviceWatcher::UsesDeviceMonitor() const {
  return state_->usesMonitor;
}

}  // namespace sk::platform
