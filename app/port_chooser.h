#pragma once
// skDeviceBox1: the port chooser box, except that a pick of the entry already chosen changes
// nothing. The box would point the port at the number it already has, which closes and reopens
// an open port and loses the answers on their way mid-transfer.
#include "serialkit/comm/base_io.h"
#include "serialkit/widgets/device_box.h"

namespace bootshell::app {

class PortChooser : public sk::widgets::TskDeviceBox {
 public:
  using TskDeviceBox::TskDeviceBox;
  // Binds the box to Comm (SetskComm) and remembers it for the picks.
  void Bind(sk::TskBaseIO* Comm) {
    comm_ = Comm;
    SetskComm(Comm);
  }

 protected:
  void Change() override {
    if (comm_ && currentIndex() == comm_->DeviceIndex()) return;
    TskDeviceBox::Change();
  }

 private:
  sk::TskBaseIO* comm_ = nullptr;
};

}  // namespace bootshell::app
