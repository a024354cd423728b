#include "boot/boot_components.h"

#include <stdexcept>

#include "boot/port_name.h"
#include "loader/boot_protocol.h"

namespace bootshell::boot {

void ConfigureBootPort(sk::TskComm& Comm) {
  Comm.BeginLoading();
  Comm.SetActive(false);
  Comm.SetBaudRate(128000);
  Comm.SetParity(sk::pNone);
  Comm.SetStopBits(sk::sbTwo);
  Comm.SetByteSize(8);
  Comm.SetTraceStates(sk::SetOf<sk::TTraceStates>(sk::tsTxEmpty));
  Comm.SetEventChar(0);
  Comm.SetStreamProtocol(sk::spNone);
  Comm.SetBufferInSize(static_cast<std::uint16_t>(protocol::kQueueSize));
  Comm.SetBufferOutSize(static_cast<std::uint16_t>(protocol::kQueueSize));
  Comm.SetTimeoutRead(0);
  Comm.SetTimeoutWrite(0);
  Comm.SetRS485Mode(false);
  Comm.SetEnumPorts(sk::epQuickAll);
  Comm.SetUseMainThread(false);
  Comm.SetKeepConnection(false);
  Comm.SetTerminalUsage(sk::tuNone);
  Comm.SetTerminalEcho(false);
  Comm.EndLoading();
}

void ConfigureAnswerProcessor(sk::TskDataProcessor& Processor) {
  Processor.BeginLoading();
  Processor.SetActive(true);
  Processor.SetTimeout(0);
  for (const auto& answer : protocol::kAnswers) {
    sk::TskDataPacket& packet = Processor.DataPackets().Add();
    packet.SetActive(true);
    packet.SetResetOthers(false);
    packet.SetPacketBegin(sk::ToBytes(answer.begin));
    packet.SetPacketEnd(sk::ToBytes(answer.end));
    packet.SetPacketLength(0);
    packet.SetPacketEndByTimeout(false);
    packet.SetWildChar(0);
    packet.SetTag(answer.tag);
  }
  Processor.EndLoading();
}

BootComponents::BootComponents(const std::string& PortName, const std::string& LogFile) {
  std::string error;
  const auto port = ParsePortTarget(PortName, error);
  if (!port) throw std::invalid_argument(error);
  if (!LogFile.empty()) {
    log_ = &sk::TComponent::Create<sk::TskLogFile>(root_);
    log_->SetOptions({sk::loSafeMode, sk::loDate, sk::loTime, sk::loMSec});
    log_->SetFileName(LogFile);
    log_->SetSizeLimit(0);  // a whole transfer, however long
    log_->SetDetailLevel(sk::dlDebug);
  }
  comm_ = &sk::TComponent::Create<sk::TskComm>(root_);
  comm_->SetName("skComm1");
  processor_ = &sk::TComponent::Create<sk::TskDataProcessor>(root_);
  processor_->SetName("skDataProcessor1");

  ConfigureBootPort(*comm_);
  if (port->path.empty())
    comm_->SetComPortNo(port->number);
  else
    comm_->SetDevicePath(port->path);
  ConfigureAnswerProcessor(*processor_);
  comm_->SetDataProcessor(processor_);
  if (log_) {
    comm_->SetLog(log_);
    processor_->SetLog(log_);
  }
}

}  // namespace bootshell::boot
