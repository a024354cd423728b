#include "run_record.h"

#include <openssl/evp.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <memory>

#include "loader/image_check.h"
#include "port_listing.h"

namespace bootshell::cli {

std::string FileSha256(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  if (!in) return {};
  const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> hash(EVP_MD_CTX_new(),
                                                                     &EVP_MD_CTX_free);
  if (!hash || EVP_DigestInit_ex(hash.get(), EVP_sha256(), nullptr) != 1) return {};
  std::array<char, 65536> buf;
  while (in.read(buf.data(), buf.size()) || in.gcount() > 0)
    if (EVP_DigestUpdate(hash.get(), buf.data(), static_cast<std::size_t>(in.gcount())) != 1)
      return {};
  if (in.bad()) return {};
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(hash.get(), digest.data(), &length) != 1 || length != 32) return {};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned i = 0; i < length; ++i) {
    const unsigned char b = digest[i];
    hex += kHex[b >> 4];
    hex += kHex[b & 15];
  }
  return hex;
}

void BeginRun(DeviceRun& Run, const CliOptions& Options) {
  Run.started = UtcNow();
  Run.port = Options.port.Name();
  const UsbIdentities usb = ReadUsbIdentities();
  if (const auto u = usb.find(Run.port); u != usb.end()) {
    Run.usbVendorId = u->second.vendorId;
    Run.usbProductId = u->second.productId;
    Run.serialNumber = u->second.serialNumber;
    Run.byIdLink = u->second.byIdLink;
  }
}

void FillRun(DeviceRun& Run, const CliOptions& Options, const SessionResult& Result) {
  Run.ended = UtcNow();
  Run.host = HostName();
  Run.imageName = Options.imagePath;
  std::string error;
  const auto image = loader::CheckImageFile(Options.imagePath, error);
  std::error_code ec;
  const auto size = std::filesystem::file_size(Options.imagePath, ec);
  Run.imageSize = ec ? 0 : static_cast<std::int64_t>(size);
  Run.imageSha256 = FileSha256(Options.imagePath);
  // A run that ended early cannot tell how many of its cycles the device took.
  if (Result.status == ExitStatus::Written && image) Run.cyclesWritten = image->cycles;
  Run.result = ResultName(Result.status);
  Run.exitStatus = Code(Result.status);
  if (Result.status != ExitStatus::Written) Run.errorText = Result.message;
}

}  // namespace bootshell::cli
