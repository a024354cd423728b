#pragma once
// TskDeviceBox: a drop-down list of the device list of one I/O component; the operator's pick
// becomes the component's port (DeviceIndex). It follows the component's list through the
// component's notify list, and forgets the component when that is destroyed.
#include <QComboBox>

#include <cstdint>
#include <vector>

#include "serialkit/comm/base_io.h"
#include "serialkit/core/component.h"
#include "serialkit/platform/device_change.h"

namespace sk::widgets {

class TskDeviceBox : public QComboBox {
  Q_OBJECT

 public:
  explicit TskDeviceBox(QWidget* Parent = nullptr);
  ~TskDeviceBox() override;

  // The bound component, or none. Binding fills the box from the component's device list
  // and selects the entry of its current port.
  TskBaseIO* skComm() const { return fComm; }
  void SetskComm(TskBaseIO* Value);
  // Kept with the window's settings; nothing reads it.
  bool ResetOnChanged() const { return fReset; }
  void SetResetOnChanged(bool Value) { fReset = Value; }

  // Binds the current component again: the list as it is now.
  void Reload();
  // Subscriber of the component's notify list: code 3 (selection or list changed) reloads.
  void PortNotify(TObject* Sender, std::int32_t Code);
  // Hands a device-change message to the bound component; false when none is bound.
  virtual bool WMDeviceChange(platform::TDeviceChangeMessage& Msg);

  // The record behind item Index (the component's, valid while its list is); null for no item
  // or when the component is gone.
  TskDevice* ItemDevice(int Index) const;

 Q_SIGNALS:
  // The operator picked an item (after the component was pointed at it).
  void OnChange();

 protected:
  // The operator picked an item.
  virtual void Change();
  // The bound component is being destroyed.
  virtual void Notification(TComponent* AComponent, TOperation Operation);

 private:
  // A component of the box's own, which the bound component tells of its destruction.
  class RemovalLink : public TComponent {
   public:
    explicit RemovalLink(TskDeviceBox& Box) : box_(Box) {}

   protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

   private:
    TskDeviceBox& box_;
  };

  TskNotifyEvent PortNotifyEvent() { return TskNotifyEvent(this, &TskDeviceBox::PortNotify); }

  TskBaseIO* fComm = nullptr;
  bool fReset = false;
  std::vector<TskDevice*> devices_;  // the records of the items, in item order
  RemovalLink link_{*this};
};

}  // namespace sk::widgets
