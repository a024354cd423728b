#include "loader/firmware_loader.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <new>
#include <stdexcept>

#include "cipher/file_stream.h"
#include "cipher/rc6.h"
#include "loader/chunk_rule.h"
#include "loader/firmware_key.h"
#include "loader/frames.h"
#include "loader/image_check.h"
#include "loader/link_kind.h"

namespace bootshell::loader {

namespace {

// A failure that ends the loop, with the text the operator sees.
class LoaderError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

constexpr std::uint16_t kFlashBaseLow = protocol::FlashBaseAddress & 0xFFFF;
constexpr std::uint16_t kFlashBaseHigh = protocol::FlashBaseAddress >> 16;
// How far the flash address moves per data block: the 1024 bytes a block carries.
constexpr std::uint32_t kFlashAddressStep = 0x400;

bool FileExists(const std::string& Name) {
  std::error_code ec;
  std::filesystem::file_status status = std::filesystem::status(Name, ec);
  return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

}  // namespace

FirmwareLoader::FirmwareLoader(LoaderPort& Port, LoaderHost& Host, LoaderEvents& Events,
                               TickSource& Ticks)
    : port_(Port), host_(Host), events_(Events), ticks_(Ticks) {}

void FirmwareLoader::Stop() {
  stopRequested_ = true;
  host_.WakeUp();
}

void FirmwareLoader::Send(const std::string& Path) {
  loaderState_ = lsLoadImage;
  firmwareFileName_ = Path;
  // The loop may be waiting for an answer: it starts the transfer at once instead.
  host_.WakeUp();
}

void FirmwareLoader::AnswerArrived(std::int32_t Tag) {
  lastAnswerTag_.store(Tag);
  host_.WakeUp();
}

void FirmwareLoader::Connect() {
  TLoaderRun run;
  try {
    ConnectPhase(run);
    Turns(run);
  } catch (const std::exception& e) {
    // Ends this loop and any it runs inside: they would only meet the same error again.
    stopRequested_ = true;
    events_.LoopError(e.what());
  }
  ClosePort();
}

void FirmwareLoader::ConnectPhase(TLoaderRun& Run) {
  stopRequested_ = false;
  Run.ConnectAttempts = 0;
  events_.Connecting();
  while (!stopRequested_) {
    if (TryOpen()) break;
    // Deliberately without serving the window: the attempts go at most every kRetryMs.
    std::uint32_t failed = ticks_.Now();
    for (std::uint32_t waited = 0; waited < kRetryMs; waited = ticks_.Now() - failed)
      ticks_.Sleep(kRetryMs - waited);
    ++Run.ConnectAttempts;
    events_.OpenFailed(Run.ConnectAttempts);
    host_.ProcessMessages();
  }
  Run.ConnectTick = ticks_.Now();
  if (!stopRequested_) events_.PortOpened();
  loaderState_ = lsSendHandshake;
  host_.ProcessMessages();
}

bool FirmwareLoader::TryOpen() {
  try {
    port_.SetActive(false);
    if (auto baud = protocol::BaudRateForLinkKind(host_.LinkKind())) port_.SetBaudRate(*baud);
    port_.SetActive(true);
    return true;
  } catch (const std::exception&) {
    // The reason is not shown; the attempt count in panel 0 is.
    return false;
  }
}

void FirmwareLoader::Turns(TLoaderRun& Run) {
  while (!stopRequested_) {
    ReportTurn(Run);
    TTurnEnd end = Step(Run);
    if (end.Waiting)
      host_.ProcessMessagesWaiting(end.WaitMs);
    else
      host_.ProcessMessages();
  }
}

void FirmwareLoader::ReportTurn(TLoaderRun& Run) {
  const std::int32_t state = loaderState_.load();
  if (state != Run.ReportedState) {
    Run.ReportedState = state;
    events_.StateChanged(state);
  }
  events_.Totals(port_.TotalReceived(), port_.TotalSent());
}

FirmwareLoader::TTurnEnd FirmwareLoader::Step(TLoaderRun& Run) {
  const TTurnEnd goOn{};
  const TTurnEnd wait{true, kWaitingTurnMs};
  const std::int32_t state = loaderState_.load();
  // A transfer state that another loop left behind has no image in this one: nothing to do.
  if (state >= lsSendBlock && state <= lsWaitBlockAnswer && !Run.FirmwareImage) return wait;
  switch (state) {
    case lsLoadImage:
      return LoadImage(Run);
    case lsSendAddress:
      SendAddress();
      return goOn;
    case lsWaitAddressAnswer:
      if (lastAnswerTag_.load() != protocol::tagAddressAccepted) return wait;
      loaderState_ = lsSendBlock;
      return goOn;
    case lsSendBlock:
      SendBlock(Run);
      return goOn;
    case lsWaitBlockAnswer:
      if (lastAnswerTag_.load() != protocol::tagDataWritten) return wait;
      BlockAnswered(Run);
      return goOn;
    case lsImageWritten:
      ImageWritten(Run);
      return goOn;
    case lsSendHandshake:
      SendHandshake(Run);
      return goOn;
    case lsWaitHandshake:
      return WaitHandshake(Run);
    default:  // lsIdle, and any state without a step
      return wait;
  }
}

FirmwareLoader::TTurnEnd FirmwareLoader::LoadImage(TLoaderRun& Run) {
  port_.ClearDeviceInput();
  flashAddrLow_ = kFlashBaseLow;
  flashAddrHigh_ = kFlashBaseHigh;
  // A file that is not there yet may still come: look again shortly.
  if (!FileExists(firmwareFileName_)) return {true, kWaitingTurnMs};

  Run.FirmwareImage.reset();
  cipher::MemoryStream image;
  try {
    image = cipher::MemoryStream(cipher::ReadWholeFile(firmwareFileName_));
  } catch (const cipher::StreamError& e) {
    throw LoaderError(ImageReadError(firmwareFileName_, e.Reason()));
  } catch (const std::bad_alloc&) {
    throw LoaderError(ImageReadError(firmwareFileName_, "not enough memory"));
  }
  const std::int64_t size = image.Size();
  if (std::string error = ImageSizeError(firmwareFileName_, size); !error.empty())
    throw LoaderError(error);
  cipher::RC6DecryptStream(image, sk::ToBytes(FirmwareKey), size);
  image.Seek(0, cipher::SeekOrigin::soBeginning);
  Run.FirmwareImage = std::move(image);
  Run.Cycle = 0;

  loaderState_ = lsSendAddress;
  events_.ImageLoaded(ShortFileName(), size, protocol::CycleCount(size));
  return {};
}

// Each frame goes in one write: the same bytes on the line as a write per header byte, without
// the system call and the transmitter event each of those costs.
void FirmwareLoader::SendAddress() {
  port_.ClearDeviceInput();
  const std::uint32_t address = std::uint32_t(flashAddrHigh_) << 16 | flashAddrLow_;
  port_.SendData(protocol::AddressFrame(address));
  loaderState_ = lsWaitAddressAnswer;
}

void FirmwareLoader::SendBlock(TLoaderRun& Run) {
  port_.ClearDeviceInput();
  cipher::MemoryStream& image = *Run.FirmwareImage;
  image.Read(Run.BlockBuffer);
  AdvanceFlashAddress();
  port_.SendData(protocol::DataFrame(Run.BlockBuffer));
  events_.BlockSent(image.Position(), ++Run.Cycle);
  // The second half of the chunk is read past, not sent.
  image.Read(Run.BlockBuffer);
  AdvanceFlashAddress();
  loaderState_ = lsWaitBlockAnswer;
}

void FirmwareLoader::BlockAnswered(TLoaderRun& Run) {
  cipher::MemoryStream& image = *Run.FirmwareImage;
  const std::int64_t position = image.Position();
  events_.BlockAcknowledged(position, Run.Cycle);
  loaderState_ = position < image.Size() - protocol::kChunkSize ? lsSendAddress : lsImageWritten;
}

void FirmwareLoader::ImageWritten(TLoaderRun& Run) {
  events_.ImageWritten(ShortFileName());
  Run.FirmwareImage.reset();
  loaderState_ = lsIdle;
}

void FirmwareLoader::SendHandshake(TLoaderRun& Run) {
  Run.HandshakeTick = ticks_.Now();
  lastAnswerTag_ = kNoAnswer;
  port_.SendData(protocol::HandshakeFrame());
  loaderState_ = lsWaitHandshake;
}

FirmwareLoader::TTurnEnd FirmwareLoader::WaitHandshake(TLoaderRun& Run) {
  if (lastAnswerTag_.load() == protocol::tagHandshake) {
    loaderState_ = lsIdle;
    events_.HandshakeAnswered(std::uint32_t(ticks_.Now() - Run.ConnectTick));
    return {};
  }
  const std::uint32_t elapsed = ticks_.Now() - Run.HandshakeTick;
  if (elapsed > kRetryMs) {
    loaderState_ = lsSendHandshake;
    return {};
  }
  // Block until an answer comes or the handshake is due again.
  return {true, std::min(kWaitingTurnMs, kRetryMs + 1 - elapsed)};
}

void FirmwareLoader::AdvanceFlashAddress() {
  // The low half carries into the high half as a 32-bit address would.
  if (std::uint32_t(flashAddrLow_) >= 0x10000 - kFlashAddressStep)
    flashAddrHigh_ = std::uint16_t(flashAddrHigh_ + 1);
  flashAddrLow_ = std::uint16_t(flashAddrLow_ + kFlashAddressStep);
}

void FirmwareLoader::ClosePort() {
  try {
    port_.SetActive(false);
  } catch (const std::exception& e) {
    events_.LoopError(e.what());
  }
}

std::string FirmwareLoader::ShortFileName() const {
  return std::filesystem::path(firmwareFileName_).filename().string();
}

}  // namespace bootshell::loader
