#include "serialkit/comm/serial_comm.h"

#include "serialkit/platform/serial_device.h"

namespace sk {

TskCustomSerialComm::TskCustomSerialComm(TComponent* AOwner, platform::TApplication& App)
    : TskCustomComm(AOwner, App) {
  sLogPrefix = "skComm: ";
  // The members the component does not drive keep the system's default for COM1; where the
  // system has none they stay zero.
  COMMCONFIG defaults{};
  if (platform::GetDefaultCommConfig("COM1", defaults)) {
    CommCfg = defaults;
    CommCfg.dwSize = kCommConfigSize;
    CommCfg.dcb.DCBlength = kDcbLength;
    // The record has no room for the provider's data that the system may have described.
    CommCfg.dwProviderOffset = 0;
    CommCfg.dwProviderSize = 0;
  }
  SetComPort(cpCOM1);
  SetBaudRate(19200);
  SetByteSize(8);
  SetParity(pNone);
  SetStopBits(sbOne);
  SetStreamProtocol(spHardware);
  SetEventChar(0);
}

void TskCustomSerialComm::SetComPortNo(std::uint16_t Value) {
  const bool was = Active();
  SetActive(false);
  fComPortNo = Value;
  SetActive(was);
  DoNotify(ncDeviceChanged);
}

TComPort TskCustomSerialComm::ComPort() const {
  if (fComPortNo >= 1 && fComPortNo <= 8) return static_cast<TComPort>(fComPortNo - 1);
  return cpCOMxx;
}

void TskCustomSerialComm::SetComPort(TComPort Value) {
  if (Value != cpCOMxx) SetComPortNo(static_cast<std::uint16_t>(Value + 1));
}

void TskCustomSerialComm::SetExtHandle(THandle aHandle) {
  if (!aHandle) return;
  if (Active()) DoClose();
  fExtHandle = std::move(aHandle);
  DoOpen();
}

std::string TskCustomSerialComm::DevicePath() const {
  std::lock_guard lock(pathMutex_);
  return devicePath_;
}

void TskCustomSerialComm::SetDevicePath(std::string Path) {
  std::lock_guard lock(pathMutex_);
  devicePath_ = std::move(Path);
}

THandle TskCustomSerialComm::DeviceOpen() {
  THandle result;
  if (fExtHandle)
    result = std::move(fExtHandle);
  else if (const std::string path = DevicePath(); !path.empty())
    result = OpenDevicePath(path);
  else if (const std::string name = DevicePortName(GetDeviceIndex()); !name.empty())
    result = OpenDevicePath(name);
  else
    result = OpenDevicePath("COM" + std::to_string(fComPortNo));
  fExtHandle.reset();
  return result;
}

THandle TskCustomSerialComm::OpenDevicePath(const std::string& Name) {
  return platform::OpenSerialPort(Name);
}

std::string TskCustomSerialComm::GetComName() const {
  if (std::string path = DevicePath(); !path.empty()) return path;
  if (const std::string name = DevicePortName(GetDeviceIndex()); !name.empty()) return name;
  return "COM" + std::to_string(fComPortNo);
}

std::string TskCustomSerialComm::DevicePortName(int Index) const {
  const TskDevice* device = GetDevice(Index);
  return device != nullptr ? device->PortName : std::string();
}

}  // namespace sk
