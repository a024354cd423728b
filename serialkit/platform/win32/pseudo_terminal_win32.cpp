// Windows has no pseudo-terminals. Tests there get one end of two ports linked back to back
// (the Windows test stage links two Linux pseudo-terminals and maps them as COM ports) as the
// master end, and the other port's name as the slave's path. SK_TEST_PTY_PAIRS lists the pairs
// ("COM47:COM48 COM49:COM50"); a lock file reserves a pair for one object at a time, also
// across the test programs that run at once. What differs from a real pseudo-terminal: there
// is no master descriptor (MasterFd is -1), and closing the master end leaves the slave's
// connection up, since the link itself stays.
#include <windows.h>

#include <cstdlib>
#include <sstream>

#include "serialkit/core/exception.h"
#include "serialkit/testing/pseudo_terminal.h"
#include "serialkit/platform/serial_device.h"
#include "serialkit/platform/system_error.h"
#include "serialkit/platform/win32/utf16.h"

namespace sk::platform {

struct PseudoTerminal::StandIn {
  HANDLE lock = INVALID_HANDLE_VALUE;
  std::shared_ptr<SerialDevice> master;
  ~StandIn() {
    if (master) master->Close();
    if (lock != INVALID_HANDLE_VALUE) ::CloseHandle(lock);
  }
};

namespace {

// Held without sharing and gone with its handle: a second taker fails while one holds it.
HANDLE TakeLock(const std::string& Port) {
  wchar_t dir[MAX_PATH + 1];
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, dir);
  if (n == 0 || n > MAX_PATH) return INVALID_HANDLE_VALUE;
  const std::wstring path =
      std::wstring(dir, n) + L"sk-port-pair-" + win32::ToUtf16(Port) + L".lock";
  return ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

// Raw 8N1 at a rate the link ignores, and nothing left over from the pair's last user.
bool Prepare(SerialDevice& Device) {
  DCB d{};
  if (!Device.GetCommState(d)) return false;
  d.BaudRate = 115200;
  d.ByteSize = 8;
  d.Parity = NOPARITY;
  d.StopBits = ONESTOPBIT;
  SetDcbFlags(d, 0x1011);  // binary, DTR and RTS on, no flow control
  COMMTIMEOUTS none{};
  return Device.SetCommState(d) && Device.SetCommTimeouts(none) &&
         Device.PurgeComm(PURGE_RXCLEAR | PURGE_TXCLEAR);
}

}  // namespace

PseudoTerminal::PseudoTerminal() : standIn_(std::make_unique<StandIn>()) {
  const char* pairs = std::getenv("SK_TEST_PTY_PAIRS");
  if (pairs == nullptr || *pairs == '\0')
    throw Exception(
        "pseudo-terminal: none on Windows, and SK_TEST_PTY_PAIRS names no linked ports");
  std::istringstream in(pairs);
  std::string pair;
  while (in >> pair) {
    const auto colon = pair.find(':');
    if (colon == std::string::npos) continue;
    const std::string master = pair.substr(0, colon), slave = pair.substr(colon + 1);
    const HANDLE lock = TakeLock(master);
    if (lock == INVALID_HANDLE_VALUE) continue;  // another one has it
    standIn_->lock = lock;
    auto other = OpenSerialPort(slave);
    standIn_->master = OpenSerialPort(master);
    if (!other || !standIn_->master || !Prepare(*other) || !Prepare(*standIn_->master))
      throw Exception("pseudo-terminal: the linked ports " + pair +
                      " do not open: " + SystemErrorText(LastError()));
    other->Close();
    slavePath_ = slave;
    return;
  }
  throw Exception("pseudo-terminal: every pair of SK_TEST_PTY_PAIRS is taken");
}

PseudoTerminal::~PseudoTerminal() = default;

void PseudoTerminal::CloseMaster() {
  if (standIn_->master) standIn_->master->Close();
}

bool PseudoTerminal::Write(const std::vector<std::uint8_t>& Bytes) {
  if (!standIn_->master || Bytes.empty()) return standIn_->master != nullptr;
  std::uint32_t written = 0;
  return standIn_->master->Write(Bytes.data(), static_cast<std::uint32_t>(Bytes.size()), written);
}

std::vector<std::uint8_t> PseudoTerminal::Read(std::size_t Count, int TimeoutMs) {
  std::vector<std::uint8_t> got;
  if (!standIn_->master) return got;
  // Each read returns once it has what it asks for, or after TimeoutMs with what came. (Not the
  // form that returns with the first bytes: Wine takes its MAXDWORD multiplier as a wait of
  // weeks.)
  COMMTIMEOUTS t{};
  t.ReadTotalTimeoutConstant = static_cast<DWORD>(TimeoutMs > 0 ? TimeoutMs : 1);
  if (!standIn_->master->SetCommTimeouts(t)) return got;
  while (got.size() < Count) {
    std::uint8_t buf[4096];
    std::uint32_t n = 0;
    const auto want = static_cast<std::uint32_t>(std::min(sizeof buf, Count - got.size()));
    if (!standIn_->master->Read(buf, want, n) || n == 0) break;
    got.insert(got.end(), buf, buf + n);
  }
  return got;
}

}  // namespace sk::platform
