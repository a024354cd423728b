#pragma once
// The loader's port and packet processor, set up as the main window sets up skComm1 and
// skDataProcessor1: 8N2, queues of 8192, the transmitter trace, events handled in the port's
// message worker, and a processor holding the eight answer definitions. Every front end builds
// them here, so the window and the command line cannot differ in a setting.
#include <string>

#include "serialkit/comm/serial_comm.h"
#include "serialkit/dataproc/data_processor.h"
#include "serialkit/log/log_file.h"

namespace bootshell::boot {

// The window's port until the chooser picks another.
inline constexpr const char* kDefaultPortName = "COM3";

// The port's settings at window creation (the baud rate is replaced at every connect).
void ConfigureBootPort(sk::TskComm& Comm);
// Appends the eight answer definitions and makes the processor active with no time-out.
void ConfigureAnswerProcessor(sk::TskDataProcessor& Processor);

// The components of one window or run, owned together and linked as on the main window. The
// port is named as ParsePortTarget reads it ("COM3", "3" or a device path); a name that names
// no port throws std::invalid_argument. With a log file name, a log at debug level traces the
// port and the processor into that file.
class BootComponents {
 public:
  explicit BootComponents(const std::string& PortName = kDefaultPortName,
                          const std::string& LogFile = {});
  BootComponents(const BootComponents&) = delete;
  BootComponents& operator=(const BootComponents&) = delete;

  sk::TskComm& Comm() { return *comm_; }
  sk::TskDataProcessor& Processor() { return *processor_; }
  sk::TskLogFile* Log() { return log_; }

 private:
  sk::TComponent root_;  // owns the components; destroyed last created, first
  sk::TskLogFile* log_ = nullptr;
  sk::TskComm* comm_ = nullptr;
  sk::TskDataProcessor* processor_ = nullptr;
};

}  // namespace bootshell::boot
