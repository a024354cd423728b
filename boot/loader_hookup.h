#pragma once
// How the port's events reach the loader: every answer packet's tag goes to the loader first,
// then the answer's log line to the front end; the port closing by itself (the line is gone)
// is reported as a lost connection. Both arrive on the port's worker thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "boot/boot_components.h"
#include "loader/firmware_loader.h"

namespace bootshell::boot {

class LoaderHookup {
 public:
  // StoreTag hands the answer's tag (Tag) to the loader; the handler runs it before anything
  // it does with Line, the answer as the log shows it ("<" payload ">").
  using AnswerHandler = std::function<void(std::int32_t Tag, const std::function<void()>& StoreTag,
                                           std::string Line)>;

  // Without an answer handler only the tag is stored and no line is made.
  LoaderHookup(BootComponents& Components, loader::FirmwareLoader& Loader,
               AnswerHandler OnAnswer = {}, std::function<void()> OnLost = {});
  // Unsubscribes: no packet or notification reaches the handlers afterwards.
  ~LoaderHookup();
  LoaderHookup(const LoaderHookup&) = delete;
  LoaderHookup& operator=(const LoaderHookup&) = delete;

  // The port is about to be closed on purpose: its closing is no loss until it opens again.
  void ExpectClose() { closing_ = true; }
  // The port closed without being asked to since it last opened.
  bool Lost() const { return lost_.load(); }

 private:
  void AnswerPacket(sk::TObject* Sender, sk::TskDataPacket* Packet);
  void PortNotify(sk::TObject* Sender, std::int32_t Code);

  BootComponents& components_;
  loader::FirmwareLoader& loader_;
  const AnswerHandler onAnswer_;
  const std::function<void()> onLost_;
  std::atomic<bool> closing_{false};
  std::atomic<bool> lost_{false};
};

}  // namespace bootshell::boot
