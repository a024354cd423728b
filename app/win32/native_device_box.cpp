#include "app/win32/native_device_box.h"

#include "app/win32/wide_text.h"
#include "serialkit/platform/application.h"

namespace bootshell::win32 {

NativeDeviceBox::~NativeDeviceBox() {
  if (fComm) fComm->NotifyDelete(PortNotifyEvent());
}

void NativeDeviceBox::SetskComm(sk::TskBaseIO* Comm) {
  ::SendMessageW(box_, CB_RESETCONTENT, 0, 0);
  if (fComm && fComm != Comm) {
    fComm->NotifyDelete(PortNotifyEvent());
    link_.RemoveFreeNotification(fComm);
  }
  if (Comm) {
    sk::TskDeviceItems items;
    Comm->GetDeviceList(&items);
    for (const sk::TskDeviceItem& item : items)
      ::SendMessageW(box_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item.Name).c_str()));
    ::SendMessageW(box_, CB_SETCURSEL, static_cast<WPARAM>(Comm->DeviceIndex()), 0);
    Comm->NotifyAdd(PortNotifyEvent());
    link_.FreeNotification(Comm);
  }
  fComm = Comm;
}

void NativeDeviceBox::PortNotify(sk::TObject*, std::int32_t Code) {
  if (Code == sk::ncDeviceChanged) Reload();
}

bool NativeDeviceBox::WMDeviceChange(sk::platform::TDeviceChangeMessage& Msg) {
  return fComm ? fComm->WMDeviceChange(Msg) : false;
}

int NativeDeviceBox::ItemIndex() const {
  return static_cast<int>(::SendMessageW(box_, CB_GETCURSEL, 0, 0));
}

void NativeDeviceBox::Change() {
  if (!fComm || ItemIndex() == fComm->DeviceIndex()) return;
  // Pointing an open port elsewhere reopens it, which can fail; a window procedure must not
  // throw.
  try {
    fComm->SetDeviceIndex(ItemIndex());
  } catch (...) {
    fComm->App().ShowException();
    Reload();  // the list shows the port number as it now is
  }
}

void NativeDeviceBox::RemovalLink::Notification(sk::TComponent* AComponent,
                                                sk::TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != sk::TOperation::opRemove || AComponent != box_.fComm) return;
  box_.fComm = nullptr;
  ::SendMessageW(box_.box_, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

}  // namespace bootshell::win32
