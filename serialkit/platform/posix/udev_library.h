#pragma once
// libudev, bound at run time: the hardware database for the names of devices, and the
// monitor that reports devices arriving and leaving. Nothing here when the library is
// missing, when SK_NO_UDEV=1, or when the device tree is not the machine's own.
#include <string>

namespace sk::platform::udev {

struct udev;
struct udev_hwdb;
struct udev_list_entry;
struct udev_monitor;
struct udev_device;

struct Library {
  udev* (*udev_new)();
  udev* (*udev_unref)(udev*);
  udev_hwdb* (*udev_hwdb_new)(udev*);
  udev_hwdb* (*udev_hwdb_unref)(udev_hwdb*);
  udev_list_entry* (*udev_hwdb_get_properties_list_entry)(udev_hwdb*, const char*, unsigned);
  udev_list_entry* (*udev_list_entry_get_next)(udev_list_entry*);
  const char* (*udev_list_entry_get_name)(udev_list_entry*);
  const char* (*udev_list_entry_get_value)(udev_list_entry*);
  udev_monitor* (*udev_monitor_new_from_netlink)(udev*, const char*);
  int (*udev_monitor_filter_add_match_subsystem_devtype)(udev_monitor*, const char*, const char*);
  int (*udev_monitor_enable_receiving)(udev_monitor*);
  int (*udev_monitor_get_fd)(udev_monitor*);
  udev_device* (*udev_monitor_receive_device)(udev_monitor*);
  udev_monitor* (*udev_monitor_unref)(udev_monitor*);
  const char* (*udev_device_get_action)(udev_device*);
  const char* (*udev_device_get_sysname)(udev_device*);
  udev_device* (*udev_device_unref)(udev_device*);
};

// The bound library, loaded on first use; null when it cannot be used here. A failed load is
// tried again on the next call.
const Library* Get();

// The hardware database of the machine, for the time one enumeration takes.
class HardwareDatabase {
 public:
  HardwareDatabase();
  ~HardwareDatabase();
  HardwareDatabase(const HardwareDatabase&) = delete;
  HardwareDatabase& operator=(const HardwareDatabase&) = delete;

  // The value of Key (e.g. "ID_MODEL_FROM_DATABASE") for a device's modalias
  // ("usb:v0403p6001"); empty when unknown or without a database.
  std::string Property(const std::string& Modalias, const std::string& Key) const;

 private:
  const Library* lib_ = nullptr;
  udev* udev_ = nullptr;
  udev_hwdb* hwdb_ = nullptr;
};

}  // namespace sk::platform::udev
