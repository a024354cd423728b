#include "serialkit/platform/posix/serial_device_posix.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <new>
#include <system_error>
#include <thread>

#include "serialkit/platform/port_map.h"
#include "serialkit/platform/posix/custom_baud.h"
#include "serialkit/platform/posix/termios_mapping.h"
#include "serialkit/platform/system_error.h"

namespace sk::platform {

namespace {

bool Fail(int Error) {
  errno = Error;
  return false;
}

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Opening must not change the line, but the device is byte-oriented from the first moment:
// no echo, no line editing, no translation, no modem-control hang-ups.
void MakeRaw(int fd) {
  termios t{};
  if (::tcgetattr(fd, &t) != 0) return;
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag |= CREAD | CLOCAL;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  ::tcsetattr(fd, TCSANOW, &t);
}

// USB adapters otherwise hold input back for up to 16 ms; drivers without the flag ignore it.
void AskLowLatency(int fd) {
  serial_struct ss{};
  if (::ioctl(fd, TIOCGSERIAL, &ss) != 0) return;
  ss.flags |= ASYNC_LOW_LATENCY;
  ::ioctl(fd, TIOCSSERIAL, &ss);
}

std::shared_ptr<SerialDevice> FailOpen(int fd, int error) {
  ::close(fd);
  errno = error;
  return nullptr;
}

// Until the device holds the descriptor it is closed here; a failure keeps the system's own
// reason for the caller's last error.
std::shared_ptr<SerialDevice> Wrap(int fd) {
  try {
    return std::make_shared<posix::PosixSerialDevice>(fd);
  } catch (const SystemException& e) {
    return FailOpen(fd, static_cast<int>(e.Code()));
  } catch (const std::system_error& e) {
    return FailOpen(fd, e.code().value());
  } catch (const std::bad_alloc&) {
    return FailOpen(fd, ENOMEM);
  } catch (...) {
    ::close(fd);
    throw;
  }
}

}  // namespace

std::shared_ptr<SerialDevice> OpenSerialDevice(const std::string& Path) {
  const int fd = ::open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  if (!::isatty(fd)) return FailOpen(fd, ENOTTY);
  // TIOCEXCL keeps out later openers except privileged ones; the lock keeps out everyone who
  // opens the device the same way, root included.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
    return FailOpen(fd, errno == EWOULDBLOCK ? EBUSY : errno);
  ::ioctl(fd, TIOCEXCL);
  AskLowLatency(fd);
  MakeRaw(fd);
  return Wrap(fd);
}

std::shared_ptr<SerialDevice> OpenSerialPort(const std::string& Name) {
  const auto path = PortMap().Resolve(Name);
  if (!path) {
    errno = ENOENT;
    return nullptr;
  }
  return OpenSerialDevice(*path);
}

std::shared_ptr<SerialDevice> AdoptSerialDevice(NativeHandle Handle) {
  const int fd = static_cast<int>(Handle);
  if (fd < 0) {
    errno = EBADF;
    return nullptr;
  }
  if (!::isatty(fd)) {
    errno = ENOTTY;
    return nullptr;
  }
  const int fl = ::fcntl(fd, F_GETFL);
  if (fl < 0 || ::fcntl(fd, F_SETFL, fl | O_NONBLOCK) != 0) return nullptr;
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  MakeRaw(fd);
  return Wrap(fd);
}

bool GetDefaultCommConfig(const std::string& Name, COMMCONFIG& Config) {
  (void)Name;
  (void)Config;
  platform::SetLastError(ENOTSUP);
  return false;
}

bool DriverTogglesRts() {
  return false;
}

namespace posix {

PosixSerialDevice::PosixSerialDevice(int Fd) : fd_(Fd) {
  dcb_.DCBlength = kDcbLength;
  termios t{};
  if (::tcgetattr(fd_, &t) == 0) ReadDcb(t, dcb_);
  dcb_.BaudRate = GetBaudRate(fd_).value_or(0);
  // What the driver counted before this open is no error of it.
  if (const auto c = ReadCounters()) {
    errorBaseline_.Take(*c);
    eventBase_ = *c;
  }
  output_ = std::make_unique<OutputQueue>(fd_, [this] {
    // Only a wait that can report it is woken. A mask gaining EV_TXEMPTY after the flag was
    // read here signals by itself, and the next wait finds the pending drain. A wait that knew
    // of the send already sleeps on the transmitter clock and looks again by itself: a burst
    // of single bytes wakes it once, not once a byte.
    const bool known = txPending_.exchange(true);
    if (txEmptyWanted_.load() && (!known || drainAwaited_.exchange(false))) eventWake_.Signal();
  });
}

PosixSerialDevice::~PosixSerialDevice() {
  Close();
}

void PosixSerialDevice::Close() {
  if (closed_.exchange(true)) return;
  const int saved = errno;
  closeWake_.Signal();
  output_->Stop(EBADF);
  {
    std::lock_guard lock(inputMutex_);
    WakeReaders(true);
  }
  // Every operation still running has been woken; wait for them to leave the descriptor.
  std::unique_lock lock(useMutex_);
  ::ioctl(fd_, TIOCNXCL);  // exclusivity belongs to this open, not to the device node
  ::close(fd_);
  fd_ = -1;
  errno = saved;
}

std::shared_lock<std::shared_mutex> PosixSerialDevice::Use() const {
  std::shared_lock lock(useMutex_);
  if (closed_.load()) {
    lock.unlock();
    errno = EBADF;
  }
  return lock;
}

NativeHandle PosixSerialDevice::Native() const {
  auto use = Use();
  return use ? fd_ : -1;
}

bool PosixSerialDevice::SetupComm(std::uint32_t InQueue, std::uint32_t OutQueue) {
  auto use = Use();
  if (!use) return false;
  std::lock_guard lock(stateMutex_);
  inQueue_ = InQueue != 0 ? InQueue : 4096;
  outQueue_ = OutQueue;
  eventWake_.Signal();  // a larger input buffer may have room again
  return true;
}

bool PosixSerialDevice::GetCommState(DCB& Dcb) {
  auto use = Use();
  if (!use) return false;
  termios t{};
  if (::tcgetattr(fd_, &t) != 0) return false;
  const auto baud = GetBaudRate(fd_);
  std::lock_guard lock(stateMutex_);
  ReadDcb(t, dcb_);
  if (baud) dcb_.BaudRate = *baud;
  Dcb = dcb_;
  return true;
}

bool PosixSerialDevice::SetCommState(const DCB& Dcb) {
  auto use = Use();
  if (!use) return false;
  termios old{};
  if (::tcgetattr(fd_, &old) != 0) return false;
  termios wanted = old;
  if (Dcb.BaudRate == 0 || !ApplyDcb(Dcb, wanted)) return Fail(EINVAL);
  const auto speed = StandardSpeed(Dcb.BaudRate);
  if (speed) ::cfsetspeed(&wanted, *speed);
  if (::tcsetattr(fd_, TCSANOW, &wanted) != 0) return false;
  // tcsetattr succeeds when any part was taken; a driver that kept its old character size or
  // parity has refused the settings, and the device goes back to what it had.
  termios actual{};
  if (::tcgetattr(fd_, &actual) != 0 || !SameFraming(wanted, actual)) {
    ::tcsetattr(fd_, TCSANOW, &old);
    return Fail(EINVAL);
  }
  if (!speed && !SetBaudRate(fd_, Dcb.BaudRate)) {
    const int error = errno;
    ::tcsetattr(fd_, TCSANOW, &old);
    return Fail(error);
  }
  // Lines that the flow control does not drive follow the DCB; devices without modem lines
  // (pseudo-terminals) refuse this, which changes nothing.
  int dtr = TIOCM_DTR;
  ::ioctl(fd_, (Dcb.Flags & dcb::fDtrControl) == dcb::fDtrControlDisable ? TIOCMBIC : TIOCMBIS,
          &dtr);
  const std::uint32_t rts = Dcb.Flags & dcb::fRtsControl;
  int rtsBit = TIOCM_RTS;
  if (rts == dcb::fRtsControlEnable) ::ioctl(fd_, TIOCMBIS, &rtsBit);
  // Under toggling the sender raises RTS around each transmission; it rests low.
  if (rts == dcb::fRtsControlDisable || rts == dcb::fRtsControlToggle)
    ::ioctl(fd_, TIOCMBIC, &rtsBit);
  std::lock_guard lock(stateMutex_);
  dcb_ = Dcb;
  dcb_.DCBlength = kDcbLength;
  return true;
}

bool PosixSerialDevice::GetCommTimeouts(COMMTIMEOUTS& Timeouts) {
  auto use = Use();
  if (!use) return false;
  std::lock_guard lock(stateMutex_);
  Timeouts = timeouts_;
  return true;
}

bool PosixSerialDevice::SetCommTimeouts(const COMMTIMEOUTS& Timeouts) {
  auto use = Use();
  if (!use) return false;
  std::lock_guard lock(stateMutex_);
  timeouts_ = Timeouts;
  return true;
}

OutputQueue::Timeouts PosixSerialDevice::WriteTimeouts() const {
  std::lock_guard lock(stateMutex_);
  return {timeouts_.WriteTotalTimeoutMultiplier, timeouts_.WriteTotalTimeoutConstant};
}

bool PosixSerialDevice::GetCommMask(std::uint32_t& Mask) {
  auto use = Use();
  if (!use) return false;
  std::lock_guard lock(stateMutex_);
  Mask = mask_;
  return true;
}

bool PosixSerialDevice::SetCommMask(std::uint32_t Mask) {
  auto use = Use();
  if (!use) return false;
  const auto counters = ReadCounters();
  const auto lines = ModemLines();
  std::lock_guard lock(stateMutex_);
  mask_ = Mask;
  txEmptyWanted_.store((Mask & EV_TXEMPTY) != 0);
  ++maskGeneration_;
  eventBase_ = counters.value_or(Counters{});
  eventLines_ = lines.value_or(0);
  eventWake_.Signal();
  return true;
}

std::optional<PosixSerialDevice::Counters> PosixSerialDevice::ReadCounters() const {
  if (noCounters_.load(std::memory_order_relaxed)) return std::nullopt;
  serial_icounter_struct ic{};
  if (::ioctl(fd_, TIOCGICOUNT, &ic) != 0) {
    if (errno == ENOTTY || errno == EINVAL) noCounters_.store(true, std::memory_order_relaxed);
    return std::nullopt;
  }
  return Counters{static_cast<std::uint32_t>(ic.frame), static_cast<std::uint32_t>(ic.overrun),
                  static_cast<std::uint32_t>(ic.parity), static_cast<std::uint32_t>(ic.brk),
                  static_cast<std::uint32_t>(ic.buf_overrun)};
}

std::optional<std::uint32_t> PosixSerialDevice::ModemLines() const {
  int bits = 0;
  if (::ioctl(fd_, TIOCMGET, &bits) != 0) return std::nullopt;
  return static_cast<std::uint32_t>(bits);
}

std::uint32_t PosixSerialDevice::OutputQueued() const {
  int inDriver = 0;
  if (::ioctl(fd_, TIOCOUTQ, &inDriver) != 0) inDriver = 0;
  return static_cast<std::uint32_t>(std::max(inDriver, 0)) +
         static_cast<std::uint32_t>(output_->Pending());
}

std::int64_t PosixSerialDevice::ByteTimeNs() const {
  std::lock_guard lock(stateMutex_);
  const std::int64_t bits = 1 + std::clamp<int>(dcb_.ByteSize, 5, 8) +
                            (dcb_.Parity != NOPARITY ? 1 : 0) +
                            (dcb_.StopBits == ONESTOPBIT ? 1 : 2);  // 1.5 counts as 2
  const std::int64_t baud = std::max<std::uint32_t>(dcb_.BaudRate, 50);
  return bits * 1'000'000'000 / baud;
}

void PosixSerialDevice::StartTransmitting(std::size_t Count) {
  if (Count == 0) return;
  const std::int64_t length = static_cast<std::int64_t>(Count) * ByteTimeNs();
  const std::int64_t now = NowNs();
  std::int64_t until = txBusyUntil_.load();
  while (!txBusyUntil_.compare_exchange_weak(until, std::max(now, until) + length)) {
  }
}

void PosixSerialDevice::TakeBack(std::size_t Count) {
  if (Count > 0) txBusyUntil_.fetch_sub(static_cast<std::int64_t>(Count) * ByteTimeNs());
}

std::int64_t PosixSerialDevice::TransmitterBusyFor() const {
  return txBusyUntil_.load() - NowNs();
}

bool PosixSerialDevice::ClearCommError(std::uint32_t* Errors, COMSTAT* Stat) {
  auto use = Use();
  if (!use) return false;
  // A clear clears whether or not the caller takes the flags.
  std::uint32_t e = 0;
  if (const auto c = ReadCounters()) {
    std::lock_guard lock(stateMutex_);
    e = errorBaseline_.Clear(*c);
  }
  if (Errors != nullptr) *Errors = e;
  if (Stat != nullptr) {
    COMSTAT s{};
    {
      // Both counts under the input lock: the event wait moves bytes from the driver into
      // the buffer under it, and a count taken across a move would see them twice.
      std::lock_guard lock(inputMutex_);
      int waiting = 0;
      if (::ioctl(fd_, FIONREAD, &waiting) != 0) waiting = 0;
      s.cbInQue = static_cast<std::uint32_t>(input_.size() + static_cast<std::size_t>(waiting));
    }
    s.cbOutQue = OutputQueued();
    bool ctsFlow;
    {
      std::lock_guard lock(stateMutex_);
      ctsFlow = (dcb_.Flags & dcb::fOutxCtsFlow) != 0;
    }
    // The lines only when they can matter: every receive event asks for this record.
    if (ctsFlow && s.cbOutQue > 0) {
      const auto lines = ModemLines();
      if (lines && (*lines & TIOCM_CTS) == 0) s.Flags |= COMSTAT_fCtsHold;
    }
    *Stat = s;
  }
  return true;
}

bool PosixSerialDevice::Write(const void* Buffer, std::uint32_t Count, std::uint32_t& Written) {
  Written = 0;
  auto use = Use();
  if (!use) return false;
  std::size_t done = 0;
  StartTransmitting(Count);
  const int error =
      output_->Write(static_cast<const std::uint8_t*>(Buffer), Count, done, WriteTimeouts());
  // What a time-out or failure kept back is not on the line.
  TakeBack(Count - done);
  Written = static_cast<std::uint32_t>(done);
  return error == 0 || Fail(error);
}

bool PosixSerialDevice::WriteAsync(const void* Buffer, std::uint32_t Count) {
  auto use = Use();
  if (!use) return false;
  StartTransmitting(Count);
  const int error =
      output_->WriteAsync(static_cast<const std::uint8_t*>(Buffer), Count, WriteTimeouts());
  if (error != 0) TakeBack(Count);
  return error == 0 || Fail(error);
}

bool PosixSerialDevice::PurgeComm(std::uint32_t Flags) {
  auto use = Use();
  if (!use) return false;
  if ((Flags & ~(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) != 0)
    return Fail(EINVAL);
  if ((Flags & (PURGE_TXABORT | PURGE_TXCLEAR)) != 0) output_->Abort(ECANCELED);
  if ((Flags & PURGE_TXCLEAR) != 0) {
    ::tcflush(fd_, TCOFLUSH);
    txBusyUntil_.store(NowNs());  // what the line had yet to send is gone
  }
  std::lock_guard lock(inputMutex_);
  if ((Flags & PURGE_RXCLEAR) != 0) {
    const bool hadInput = !input_.empty();
    input_.clear();
    ::tcflush(fd_, TCIFLUSH);
    if (hadInput) eventWake_.Signal();  // the input buffer has room again
  }
  if ((Flags & PURGE_RXABORT) != 0) WakeReaders(true);
  return true;
}

bool PosixSerialDevice::CancelIo() {
  auto use = Use();
  if (!use) return false;
  // The calling thread cannot be inside a read or a waited write of its own at this point;
  // what it can have pending are unwaited writes.
  output_->Cancel(std::this_thread::get_id(), ECANCELED);
  return true;
}

bool PosixSerialDevice::FlushFileBuffers() {
  auto use = Use();
  if (!use) return false;
  if (!output_->WaitIdle()) return Fail(EBADF);
  std::uint32_t baud;
  {
    std::lock_guard lock(stateMutex_);
    baud = std::max<std::uint32_t>(dcb_.BaudRate, 50);
  }
  // The driver's queue, looked at about as often as it can empty; a close ends the wait.
  for (;;) {
    int queued = 0;
    if (::ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) break;
    const auto ms = std::clamp<std::uint64_t>(queued * 10000ull / baud, 1, 100);
    pollfd p{static_cast<int>(closeWake_.Native()), POLLIN, 0};
    ::poll(&p, 1, static_cast<int>(ms));
    if (closed_.load()) return Fail(EBADF);
  }
  ::tcdrain(fd_);  // the last bytes in the transmitter itself
  return true;
}

bool PosixSerialDevice::TransmitCommChar(std::uint8_t Ch) {
  auto use = Use();
  if (!use) return false;
  StartTransmitting(1);
  const int error = output_->SendAhead(Ch);
  if (error != 0) TakeBack(1);
  return error == 0 || Fail(error);
}

bool PosixSerialDevice::EscapeCommFunction(std::uint32_t Func) {
  auto use = Use();
  if (!use) return false;
  int bits = 0;
  int result;
  switch (Func) {
    case SETRTS:
      bits = TIOCM_RTS;
      result = ::ioctl(fd_, TIOCMBIS, &bits);
      break;
    case CLRRTS:
      bits = TIOCM_RTS;
      result = ::ioctl(fd_, TIOCMBIC, &bits);
      break;
    case SETDTR:
      bits = TIOCM_DTR;
      result = ::ioctl(fd_, TIOCMBIS, &bits);
      break;
    case CLRDTR:
      bits = TIOCM_DTR;
      result = ::ioctl(fd_, TIOCMBIC, &bits);
      break;
    case SETBREAK:
      result = ::ioctl(fd_, TIOCSBRK);
      break;
    case CLRBREAK:
      result = ::ioctl(fd_, TIOCCBRK);
      break;
    case SETXON:
      result = ::tcflow(fd_, TCOON);
      break;
    case SETXOFF:
      result = ::tcflow(fd_, TCOOFF);
      break;
    default:
      return Fail(EINVAL);
  }
  return result == 0;
}

bool PosixSerialDevice::GetCommModemStatus(std::uint32_t& ModemStat) {
  ModemStat = 0;
  auto use = Use();
  if (!use) return false;
  const auto lines = ModemLines();
  if (!lines) return false;
  if ((*lines & TIOCM_CTS) != 0) ModemStat |= MS_CTS_ON;
  if ((*lines & TIOCM_DSR) != 0) ModemStat |= MS_DSR_ON;
  if ((*lines & TIOCM_RNG) != 0) ModemStat |= MS_RING_ON;
  if ((*lines & TIOCM_CD) != 0) ModemStat |= MS_RLSD_ON;
  return true;
}

bool PosixSerialDevice::GetCommProperties(COMMPROP& Prop) {
  auto use = Use();
  if (!use) return false;
  COMMPROP p{};
  p.wPacketLength = sizeof(COMMPROP);
  p.wPacketVersion = 2;
  p.dwServiceMask = SP_SERIALCOMM;
  p.dwMaxBaud = BAUD_USER;  // any rate through termios2
  p.dwProvSubType = PST_RS232;
  p.dwProvCapabilities = PCF_DTRDSR | PCF_RTSCTS | PCF_RLSD | PCF_PARITY_CHECK | PCF_XONXOFF |
                         PCF_SETXCHAR | PCF_TOTALTIMEOUTS | PCF_INTTIMEOUTS | PCF_SPECIALCHARS;
  p.dwSettableParams =
      SP_PARITY | SP_BAUD | SP_DATABITS | SP_STOPBITS | SP_HANDSHAKING | SP_PARITY_CHECK | SP_RLSD;
  p.dwSettableBaud = BAUD_075 | BAUD_110 | BAUD_134_5 | BAUD_150 | BAUD_300 | BAUD_600 | BAUD_1200 |
                     BAUD_1800 | BAUD_2400 | BAUD_4800 | BAUD_7200 | BAUD_9600 | BAUD_14400 |
                     BAUD_19200 | BAUD_38400 | BAUD_56K | BAUD_128K | BAUD_115200 | BAUD_57600 |
                     BAUD_USER;
  p.wSettableData = DATABITS_5 | DATABITS_6 | DATABITS_7 | DATABITS_8;
  p.wSettableStopParity = STOPBITS_10 | STOPBITS_15 | STOPBITS_20 | PARITY_NONE | PARITY_ODD |
                          PARITY_EVEN | PARITY_MARK | PARITY_SPACE;
  {
    std::lock_guard lock(stateMutex_);
    p.dwCurrentTxQueue = outQueue_;
    p.dwCurrentRxQueue = inQueue_;
  }
  Prop = p;
  return true;
}

}  // namespace posix
}  // namespace sk::platform
