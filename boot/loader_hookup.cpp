#include "boot/loader_hookup.h"

#include <span>

#include "loader/answer_text.h"

namespace bootshell::boot {

LoaderHookup::LoaderHookup(BootComponents& Components, loader::FirmwareLoader& Loader,
                           AnswerHandler OnAnswer, std::function<void()> OnLost)
    : components_(Components),
      loader_(Loader),
      onAnswer_(std::move(OnAnswer)),
      onLost_(std::move(OnLost)) {
  components_.Processor().SetOnDataPacket(
      sk::TskDataPacketEvent(this, &LoaderHookup::AnswerPacket));
  components_.Comm().NotifyAdd(sk::TskNotifyEvent(this, &LoaderHookup::PortNotify));
}

LoaderHookup::~LoaderHookup() {
  closing_ = true;
  // The workers end with the port, so nothing is inside a handler once it is closed.
  components_.Comm().SetActive(false);
  components_.Processor().SetOnDataPacket(nullptr);
  components_.Comm().NotifyDelete(sk::TskNotifyEvent(this, &LoaderHookup::PortNotify));
}

void LoaderHookup::AnswerPacket(sk::TObject*, sk::TskDataPacket* Packet) {
  const std::int32_t tag = Packet->Tag();
  if (!onAnswer_) return loader_.AnswerArrived(tag);
  // The line is made first (it changes nothing); the handler still stores the tag before
  // the line goes anywhere.
  const std::span<const sk::Byte> received(Packet->DataPtr(),
                                           static_cast<std::size_t>(Packet->DataLength()));
  onAnswer_(
      tag, [&] { loader_.AnswerArrived(tag); },
      protocol::AnswerLogLine(received, Packet->PacketBegin(), Packet->PacketEnd()));
}

void LoaderHookup::PortNotify(sk::TObject*, std::int32_t Code) {
  if (Code == sk::ncPortOpened) {
    closing_ = false;
    lost_ = false;
    return;
  }
  // Closed while nobody is closing the port: it closed itself, the line is gone.
  if (Code != sk::ncPortClosed || closing_.load()) return;
  lost_ = true;
  if (onLost_) onLost_();
}

}  // namespace bootshell::boot
