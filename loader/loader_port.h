#pragma once
// What the loader loop needs of the serial port.
#include <cstdint>
#include <span>

#include "serialkit/core/bytes.h"

namespace bootshell::loader {

class LoaderPort {
 public:
  virtual ~LoaderPort() = default;

  // Opening (true) throws when the port cannot be opened; closing a closed port does nothing.
  virtual void SetActive(bool Value) = 0;
  // Set while the port is closed.
  virtual void SetBaudRate(std::uint32_t Value) = 0;
  // Starts sending Data and returns before it has left; the bytes sent are those Data held at
  // the call (the loop refills its buffer at once).
  virtual void SendData(std::span<const sk::Byte> Data) = 0;
  // Discards received bytes not yet read from the driver.
  virtual void ClearDeviceInput() = 0;
  // Byte totals since the port last opened.
  virtual std::uint32_t TotalReceived() const = 0;
  virtual std::uint32_t TotalSent() const = 0;
};

}  // namespace bootshell::loader
