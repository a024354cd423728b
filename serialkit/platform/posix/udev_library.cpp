#include "serialkit/platform/posix/udev_library.h"

#include <dlfcn.h>

#include <mutex>

#include "serialkit/platform/device_roots.h"

namespace sk::platform::udev {

namespace {

template <class F>
bool Bind(void* handle, const char* name, F& fn) {
  fn = reinterpret_cast<F>(::dlsym(handle, name));
  return fn != nullptr;
}

#define SK_BIND(f) ok = Bind(handle, #f, lib.f) && ok

// The handle stays loaded for the life of the process once every function was found.
const Library* Load() {
  static std::mutex mutex;
  static Library lib;
  static bool bound = false;
  std::lock_guard lock(mutex);
  if (bound) return &lib;
  void* handle = ::dlopen("libudev.so.1", RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return nullptr;
  bool ok = true;
  SK_BIND(udev_new);
  SK_BIND(udev_unref);
  SK_BIND(udev_hwdb_new);
  SK_BIND(udev_hwdb_unref);
  SK_BIND(udev_hwdb_get_properties_list_entry);
  SK_BIND(udev_list_entry_get_next);
  SK_BIND(udev_list_entry_get_name);
  SK_BIND(udev_list_entry_get_value);
  SK_BIND(udev_monitor_new_from_netlink);
  SK_BIND(udev_monitor_filter_add_match_subsystem_devtype);
  SK_BIND(udev_monitor_enable_receiving);
  SK_BIND(udev_monitor_get_fd);
  SK_BIND(udev_monitor_receive_device);
  SK_BIND(udev_monitor_unref);
  SK_BIND(udev_device_get_action);
  SK_BIND(udev_device_get_sysname);
  SK_BIND(udev_device_unref);
  if (!ok) {
    ::dlclose(handle);
    return nullptr;
  }
  bound = true;
  return &lib;
}

#undef SK_BIND

}  // namespace

const Library* Get() {
  // libudev always reads the machine's own tree: on a replaced one it would describe the
  // wrong devices.
  if (UdevDisabled() || SysfsRoot() != "/sys" || DevRoot() != "/dev") return nullptr;
  return Load();
}

HardwareDatabase::HardwareDatabase() : lib_(Get()) {
  if (lib_ == nullptr) return;
  udev_ = lib_->udev_new();
  if (udev_ != nullptr) hwdb_ = lib_->udev_hwdb_new(udev_);
}

HardwareDatabase::~HardwareDatabase() {
  if (hwdb_ != nullptr) lib_->udev_hwdb_unref(hwdb_);
  if (udev_ != nullptr) lib_->udev_unref(udev_);
}

std::string HardwareDatabase::Property(const std::string& Modalias, const std::string& Key) const {
  if (hwdb_ == nullptr) return {};
  for (udev_list_entry* e = lib_->udev_hwdb_get_properties_list_entry(hwdb_, Modalias.c_str(), 0);
       e != nullptr; e = lib_->udev_list_entry_get_next(e)) {
    const char* name = lib_->udev_list_entry_get_name(e);
    const char* value = lib_->udev_list_entry_get_value(e);
    if (name != nullptr && value != nullptr && Key == name) return value;
  }
  return {};
}

}  // namespace sk::platform::udev
