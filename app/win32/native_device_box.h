#pragma once
// skDeviceBox1 on a native drop-down list: it shows the bound component's device list, turns
// the operator's pick into the component's DeviceIndex, reloads on the component's "device
// changed" notification and forgets the component when that is destroyed. A pick of the entry
// already chosen changes nothing: it would close and reopen an open port mid-transfer.
#include <windows.h>

#include <cstdint>

#include "serialkit/comm/base_io.h"
#include "serialkit/core/component.h"
#include "serialkit/platform/device_change.h"

namespace bootshell::win32 {

class NativeDeviceBox {
 public:
  explicit NativeDeviceBox(HWND ComboBox) : box_(ComboBox) {}
  ~NativeDeviceBox();
  NativeDeviceBox(const NativeDeviceBox&) = delete;
  NativeDeviceBox& operator=(const NativeDeviceBox&) = delete;

  sk::TskBaseIO* skComm() const { return fComm; }
  // Fills the box from Comm's device list and selects the entry of its current port.
  void SetskComm(sk::TskBaseIO* Comm);
  void Reload() { SetskComm(fComm); }
  // Subscriber of the component's notify list: code 3 reloads (GUI thread only here).
  void PortNotify(sk::TObject* Sender, std::int32_t Code);
  bool WMDeviceChange(sk::platform::TDeviceChangeMessage& Msg);
  // The operator picked an item (CBN_SELCHANGE).
  void Change();
  int ItemIndex() const;

 private:
  class RemovalLink : public sk::TComponent {
   public:
    explicit RemovalLink(NativeDeviceBox& Box) : box_(Box) {}

   protected:
    void Notification(sk::TComponent* AComponent, sk::TOperation Operation) override;

   private:
    NativeDeviceBox& box_;
  };

  sk::TskNotifyEvent PortNotifyEvent() {
    return sk::TskNotifyEvent(this, &NativeDeviceBox::PortNotify);
  }

  HWND box_;  // a child of the window, which destroys it
  sk::TskBaseIO* fComm = nullptr;
  RemovalLink link_{*this};
};

}  // namespace bootshell::win32
