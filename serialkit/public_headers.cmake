# The headers a program built on SerialKit may include, relative to this folder. They are what
# `cmake --install` puts under include/serialkit/ and all that the library's users in this tree
# (cipher/ loader/ boot/ app/ tools/) see; every other header here is the library's own.
# Each list holds its headers' own includes too: every header here compiles alone against the
# installed include folder (scripts/check-public-headers.sh).

# SerialKit::SerialKit
set(SK_PUBLIC_HEADERS
    serialkit.h
    comm/base_io.h
    comm/comm_types.h
    comm/controls.h
    comm/custom_comm.h
    comm/serial_comm.h
    core/bytes.h
    core/component.h
    core/event.h
    core/exception.h
    core/fatal_error.h
    dataproc/collection.h
    dataproc/comm_event_new.h
    dataproc/custom_data_processor.h
    dataproc/data_packet.h
    dataproc/data_processor.h
    dataproc/data_protocol.h
    discovery/device.h
    discovery/guid.h
    log/custom_log_file.h
    log/log_edit_control.h
    log/log_file.h
    platform/application.h
    platform/device_change.h
    platform/device_watcher.h
    platform/messages.h
    platform/port_map.h
    platform/registry_root.h
    platform/serial_records.h
    platform/system_error.h
    platform/tick.h
    # The parts of the components' declarations that a program does not use by itself: the
    # link between a port and its processors, the notify list, the event holder and the
    # parts of the port's base.
    comm/data_processor_link.h
    comm/device_list.h
    comm/keep_connection_timer.h
    comm/link_use_guard.h
    comm/terminal_binding.h
    comm/notify_list.h
    comm/shared_event.h
    # The command-line loader's --list-ports reads the setup-device lists directly, for now.
    discovery/setup_device_list.h
    discovery/setup_devices.h
    platform/setup_classes.h)

# SerialKit::Testing: the fake serial device and the pseudo-terminal stand-ins, with the device
# interface the fake implements.
set(SK_TESTING_HEADERS
    testing/fake_serial_device.h
    testing/pseudo_terminal.h
    platform/line_error_counters.h
    platform/native_handle.h
    platform/serial_device.h
    platform/wake_event.h)

# SerialKit::Widgets (built with Qt)
set(SK_WIDGETS_HEADERS
    widgets/device_box.h
    widgets/port_settings_dialog.h
    widgets/qt_application_pump.h
    widgets/qt_error_report.h)
