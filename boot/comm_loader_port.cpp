#include "boot/comm_loader_port.h"

#include <exception>

namespace bootshell::boot {

void CommLoaderPort::SetActive(bool Value) {
  if (!Value) return comm_.SetActive(false);
  try {
    comm_.SetActive(true);
  } catch (const std::exception& e) {
    ++failedOpens_;
    lastOpenError_ = e.what();
    // The message puts the system's reason on a line of its own with a lone carriage return.
    for (char& c : lastOpenError_)
      if (c == '\r' || c == '\n') c = ' ';
    throw;
  }
}

void CommLoaderPort::SendData(std::span<const sk::Byte> Data) {
  comm_.SendData(Data.data(), static_cast<std::uint32_t>(Data.size()));
}

}  // namespace bootshell::boot
