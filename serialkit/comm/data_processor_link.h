#pragma once
// The port's side of the link to its data processor: the calls a port makes on the processor
// linked through its DataProcessor property. The data processor family derives from it.
#include <cstdint>
#include <string>

#include "serialkit/comm/comm_types.h"
#include "serialkit/core/component.h"

namespace sk {

class TskBaseIO;

class TskDataProcessorLink : public TComponent {
 public:
  using TComponent::TComponent;
  std::string ClassName() const override { return "TskDataProcessorLink"; }

  // The port this processor is fed by; called by the port's DataProcessor setter with the port
  // when linked and with nullptr when unlinked.
  virtual void SetDevice(TskBaseIO* Value) = 0;
  // One received chunk, valid only during the call. R is empty on entry; itTerminal in it
  // keeps the chunk from the port's terminal.
  virtual void DoProcessing(const Byte* Data, std::uint32_t Len, TIgnoreTypes& R) = 0;
  // The port's transmitter has run empty; setting flIgnore (false on entry) suppresses the
  // port's OnAfterSend for it.
  virtual void DoAfterSendComplete(bool& flIgnore) = 0;
};

}  // namespace sk
