#include "boot/loader_session.h"

namespace bootshell::boot {

template <class Fn>
void LoaderSession::Fanout::Both(Fn&& Call) {
  Call(s_.events_);
  if (loader::LoaderEvents* watcher = s_.watcher_.load()) Call(*watcher);
}

void LoaderSession::Fanout::Connecting() {
  Both([](loader::LoaderEvents& E) { E.Connecting(); });
}
void LoaderSession::Fanout::OpenFailed(int Attempts) {
  Both([&](loader::LoaderEvents& E) { E.OpenFailed(Attempts); });
}
void LoaderSession::Fanout::PortOpened() {
  Both([](loader::LoaderEvents& E) { E.PortOpened(); });
}
void LoaderSession::Fanout::HandshakeAnswered(std::uint32_t Ms) {
  Both([&](loader::LoaderEvents& E) { E.HandshakeAnswered(Ms); });
}
void LoaderSession::Fanout::ImageLoaded(const std::string& Name, std::int64_t Size,
                                        std::int64_t Cycles) {
  Both([&](loader::LoaderEvents& E) { E.ImageLoaded(Name, Size, Cycles); });
}
void LoaderSession::Fanout::BlockSent(std::int64_t Position, std::int64_t Cycle) {
  Both([&](loader::LoaderEvents& E) { E.BlockSent(Position, Cycle); });
}
void LoaderSession::Fanout::BlockAcknowledged(std::int64_t Position, std::int64_t Cycle) {
  Both([&](loader::LoaderEvents& E) { E.BlockAcknowledged(Position, Cycle); });
}
void LoaderSession::Fanout::ImageWritten(const std::string& Name) {
  Both([&](loader::LoaderEvents& E) { E.ImageWritten(Name); });
}
void LoaderSession::Fanout::StateChanged(std::int32_t State) {
  Both([&](loader::LoaderEvents& E) { E.StateChanged(State); });
}
void LoaderSession::Fanout::Totals(std::uint32_t Received, std::uint32_t Sent) {
  Both([&](loader::LoaderEvents& E) { E.Totals(Received, Sent); });
}
void LoaderSession::Fanout::Answer(std::int32_t Tag, const std::string& Text) {
  Both([&](loader::LoaderEvents& E) { E.Answer(Tag, Text); });
}
void LoaderSession::Fanout::ConnectionLost() {
  Both([](loader::LoaderEvents& E) { E.ConnectionLost(); });
}
void LoaderSession::Fanout::LoopError(const std::string& Message) {
  Both([&](loader::LoaderEvents& E) { E.LoopError(Message); });
}

void LoaderSession::SessionPort::SetActive(bool Value) {
  if (!Value) session_.hookup_.ExpectClose();
  CommLoaderPort::SetActive(Value);
}

LoaderSession::LoaderSession(loader::LoaderHost& Host, loader::LoaderEvents& Events,
                             const std::string& PortName, const std::string& LogFile, bool Answers)
    : events_(Events),
      components_(PortName, LogFile),
      port_(components_.Comm(), *this),
      loader_(port_, Host, fanout_),
      hookup_(components_, loader_,
              Answers ? LoaderHookup::AnswerHandler([this](std::int32_t Tag,
                                                           const std::function<void()>& StoreTag,
                                                           std::string Line) {
                std::lock_guard lock(answerMutex_);
                StoreTag();
                fanout_.Answer(Tag, Line);
              })
                      : LoaderHookup::AnswerHandler(),
              [this] { fanout_.ConnectionLost(); }) {}

void LoaderSession::Stop() {
  hookup_.ExpectClose();
  loader_.Stop();
}

}  // namespace bootshell::boot
