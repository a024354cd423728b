#include "serialkit/widgets/device_box.h"

#include <QThread>

#include <exception>

#include "serialkit/platform/application.h"

namespace sk::widgets {

TskDeviceBox::TskDeviceBox(QWidget* Parent) : QComboBox(Parent) {
  setEditable(false);  // a drop-down list: an item or nothing, no free text
  setMaxVisibleItems(8);
  // Only a pick by the operator is a choice; items changed by a reload are not.
  connect(this, &QComboBox::activated, this, [this] { Change(); });
}

TskDeviceBox::~TskDeviceBox() {
  if (fComm) fComm->NotifyDelete(PortNotifyEvent());
}

void TskDeviceBox::SetskComm(TskBaseIO* Value) {
  clear();
  devices_.clear();
  setCurrentIndex(-1);
  if (fComm && fComm != Value) {
    fComm->NotifyDelete(PortNotifyEvent());
    link_.RemoveFreeNotification(fComm);
  }
  if (Value) {
    TskDeviceItems items;
    Value->GetDeviceList(&items);
    for (const TskDeviceItem& item : items) {
      addItem(QString::fromStdString(item.Name));
      devices_.push_back(item.Object);
    }
    setCurrentIndex(Value->DeviceIndex());
    Value->NotifyAdd(PortNotifyEvent());
    link_.FreeNotification(Value);
  }
  fComm = Value;
}

void TskDeviceBox::Reload() {
  SetskComm(fComm);
}

void TskDeviceBox::PortNotify(TObject*, std::int32_t Code) {
  if (Code != ncDeviceChanged) return;
  // The items are the GUI thread's: a change made in another thread reloads there.
  if (QThread::currentThread() != thread())
    QMetaObject::invokeMethod(this, &TskDeviceBox::Reload, Qt::QueuedConnection);
  else
    Reload();
}

bool TskDeviceBox::WMDeviceChange(platform::TDeviceChangeMessage& Msg) {
  return fComm ? fComm->WMDeviceChange(Msg) : false;
}

TskDevice* TskDeviceBox::ItemDevice(int Index) const {
  if (Index < 0 || static_cast<std::size_t>(Index) >= devices_.size()) return nullptr;
  return devices_[static_cast<std::size_t>(Index)];
}

void TskDeviceBox::Change() {
  if (fComm) {
    // Pointing an open port elsewhere reopens it, which can fail; a Qt signal must not throw.
    try {
      fComm->SetDeviceIndex(currentIndex());
    } catch (...) {
      fComm->App().ShowException();
      Reload();  // the list shows the port number as it now is
    }
  }
  Q_EMIT OnChange();
}

void TskDeviceBox::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation != TOperation::opRemove || AComponent != fComm) return;
  fComm = nullptr;
  std::fill(devices_.begin(), devices_.end(), nullptr);  // they went with the component
  setCurrentIndex(-1);
}

void TskDeviceBox::RemovalLink::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  box_.Notification(AComponent, Operation);
}

}  // namespace sk::widgets
