#pragma once
// SerialKit in one include: the serial port component (TskComm), the packet processor and its
// packet definitions, the log sink, the device list with its records and the hot-plug watcher,
// and the application object whose message serving (RunUntil) runs the components' events.
// docs/serialkit.md shows how they fit together.
#include "serialkit/comm/serial_comm.h"
#include "serialkit/dataproc/data_packet.h"
#include "serialkit/dataproc/data_processor.h"
#include "serialkit/discovery/device.h"
#include "serialkit/log/log_file.h"
#include "serialkit/platform/application.h"
#include "serialkit/platform/device_change.h"
#include "serialkit/platform/device_watcher.h"
