// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PosixSerialDevice.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <vector>

#include "platform/DcbRules.h"
#include "platform/ErrorMarks.h"
#include "platform/ModemWatcher.h"
#include "platform/PolledSerialDevice.h"
#include "platform/Termios2.h"

namespace {

constexpr uint32_t ModemLineEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;

bool NoModemControl(int Error) { return Error == ENOTTY || Error == EINVAL; }
// What a device that has gone away answers.
bool Vanished(int Error) { return Error == EIO || Error == ENODEV || Error == ENXIO; }

LineSettings LineSettingsOf(const DCB& Dcb) {
  LineSettings s;
  s.Baud = Dcb.BaudRate;
  s.ByteSize = Dcb.ByteSize;
  s.Parity = Dcb.Parity;
  s.TwoStopBits = Dcb.StopBits == 2;
  s.RtsCts = (Dcb.Flags & DCB_fOutxCtsFlow) || RtsControlOf(Dcb) == RtsHandshake;
  s.XonXoffOut = Dcb.Flags & DCB_fOutX;
  s.XonXoffIn = Dcb.Flags & DCB_fInX;
  s.XonChar = Dcb.XonChar;
  s.XoffChar = Dcb.XoffChar;
  s.ParityCheck = Dcb.Flags & DCB_fParity;
  // Bytes with line errors are marked only when they are to be replaced.
  s.MarkErrors = s.ParityCheck && (Dcb.Flags & DCB_fErrorChar);
  return s;
}

class PosixSerialDevice : public PolledSerialDevice {
 public:
  explicit PosixSerialDevice(int Fd);
  ~PosixSerialDevice() override;

  bool SetCommState(const DCB& Dcb) override;
  bool ReadFile(void* Data, int Count, int& Read) override;
  bool WriteSome(const void* Data, int Count, int& Written) override;
  WriteOutcome WaitWritable(int TimeoutMs, std::initializer_list<const WaitEvent*> Cancel,
                            int& CancelledBy) override;
  bool PurgeComm(uint32_t Flags) override;
  bool EscapeCommFunction(uint32_t Func) override;
  bool GetCommModemStatus(uint32_t& Status) override;
  int OutputQueued() override;
  int ArrivalFd() const override { return hungUp_ ? -1 : fd_; }
  void SetArrivalsWatched(bool Watched) override;

 private:
  void FillLocked() override;
  int OutputQueuedLocked() override { return OutputQueued(); }
  std::optional<short> WatchedLocked() override;
  void DescriptorReadyLocked(short Got) override;
  uint32_t CountedErrorsLocked() override;
  void MaskChangedLocked() override { WatchModemLines(); }
  void HungUpLocked() override { kernelHolds_ = false; }
  void StoreReceived(const uint8_t* Data, size_t Count);
  void MarkHungUp();
  bool LooksHungUp() const;
  void WatchModemLines();
  void ModemLinesChanged();
  void CheckLinesLocked();
  void CheckCountersLocked();
  bool SetLine(int Line, bool On);

  ErrorMarkParser parser_;
  bool markErrors_ = false;
  bool kernelHolds_ = false;  // the queue was full with bytes left in the kernel
  bool arrivalsWatched_ = false;
  bool modemControl_ = true;
  bool errorCounters_ = true;
  int lastModem_ = 0;
  serial_icounter_struct statusCounts_{};  // as last reported by ClearCommError
  serial_icounter_struct eventCounts_{};   // as last seen by the event wait
  std::unique_ptr<ModemWatcher> watcher_;  // while modem-line events are awaited
};

PosixSerialDevice::PosixSerialDevice(int Fd) : PolledSerialDevice(Fd) {
  int lines = 0;
  if (ioctl(fd_, TIOCMGET, &lines) == 0)
    lastModem_ = lines;
  else if (NoModemControl(errno))
    modemControl_ = false;
  if (ioctl(fd_, TIOCGICOUNT, &statusCounts_) == 0)
    eventCounts_ = statusCounts_;
  else
    errorCounters_ = false;
}

PosixSerialDevice::~PosixSerialDevice() {
  watcher_.reset();
  if (!hungUp_) ioctl(fd_, TIOCNXCL);
  flock(fd_, LOCK_UN);
  close(fd_);
}

bool PosixSerialDevice::SetCommState(const DCB& Dcb) {
  if (const int refusal = CheckDcb(Dcb)) return Fail(refusal);
  std::lock_guard<std::mutex> lock(mutex_);
  const LineSettings settings = LineSettingsOf(Dcb);
  if (!ApplyLineSettings(fd_, settings)) return Fail(errno);
  if (settings.MarkErrors != markErrors_) parser_.Reset();
  markErrors_ = settings.MarkErrors;
  baud_ = Dcb.BaudRate;
  queue_.SetRules(Dcb.Flags & DCB_fNull, Dcb.Flags & DCB_fErrorChar, Dcb.ErrorChar, Dcb.EvtChar);
  const int dtr = DtrControlOf(Dcb), rts = RtsControlOf(Dcb);
  if (!SetLine(TIOCM_DTR, dtr == DtrEnable)) return false;
  if (rts != RtsHandshake && !SetLine(TIOCM_RTS, rts == RtsEnable)) return false;
  return true;
}

// Modem-line changes are waited for, never polled; line errors and breaks are read from
// the counters when data or a line change arrives.
void PosixSerialDevice::WatchModemLines() {
  const bool wanted = modemControl_ && !hungUp_ && (mask_ & ModemLineEvents);
  if (wanted && !watcher_)
    watcher_ = std::make_unique<ModemWatcher>(fd_, [this] { ModemLinesChanged(); });
  else if (!wanted)
    watcher_.reset();
}

void PosixSerialDevice::ModemLinesChanged() {
  std::lock_guard<std::mutex> lock(mutex_);
  CheckLinesLocked();
  CheckCountersLocked();
  wake_.Set();
}

void PosixSerialDevice::StoreReceived(const uint8_t* Data, size_t Count) {
  if (!markErrors_) {
    Record(queue_.Store(Data, Count));
    return;
  }
  uint32_t events = 0;
  for (size_t i = 0; i < Count; ++i)
    parser_.Feed(Data[i], [&](uint8_t b, bool error) { events |= queue_.StoreOne(b, error); });
  Record(events);
}

void PosixSerialDevice::MarkHungUp() {
  std::lock_guard<std::mutex> lock(mutex_);
  MarkHungUpLocked();
}

// Moves what the kernel holds into the queue, as far as it has room.
void PosixSerialDevice::FillLocked() {
  if (hungUp_) return;
  uint8_t chunk[4096];
  while (queue_.Room() > 0) {
    const size_t want = std::min(queue_.Room(), sizeof chunk);
    const ssize_t n = read(fd_, chunk, want);
    if (n > 0) {
      StoreReceived(chunk, static_cast<size_t>(n));
      CheckCountersLocked();
      if (static_cast<size_t>(n) < want) return;  // the kernel has nothing more for now
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // Any other failure than "nothing now" leaves a device that would poll ready for
    // ever: it counts as hung up.
    if (n == 0 ? LooksHungUp() : errno != EAGAIN) MarkHungUpLocked();
    return;
  }
  int waiting = 0;
  kernelHolds_ = ioctl(fd_, FIONREAD, &waiting) == 0 && waiting > 0;
  if (kernelHolds_ && queue_.NoteOverrun()) {
    ownErrors_ |= CE_RXOVER;
    Record(EV_ERR);
  }
}

// With VMIN 0 a live terminal also reads 0 when it has nothing; a hung-up one polls
// as hung up as well.
bool PosixSerialDevice::LooksHungUp() const {
  pollfd p{fd_, POLLIN, 0};
  return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

void PosixSerialDevice::CheckLinesLocked() {
  int lines = 0;
  if (modemControl_ && ioctl(fd_, TIOCMGET, &lines) == 0) {
    const int changed = lines ^ lastModem_;
    uint32_t events = 0;
    if (changed & TIOCM_CTS) events |= EV_CTS;
    if (changed & TIOCM_DSR) events |= EV_DSR;
    if (changed & TIOCM_CD) events |= EV_RLSD;
    if ((changed & TIOCM_RI) && (lines & TIOCM_RI)) events |= EV_RING;
    lastModem_ = lines;
    Record(events);
  }
}

void PosixSerialDevice::CheckCountersLocked() {
  serial_icounter_struct now{};
  if (errorCounters_ && !hungUp_ && ioctl(fd_, TIOCGICOUNT, &now) == 0) {
    if (now.frame != eventCounts_.frame || now.parity != eventCounts_.parity ||
        now.overrun != eventCounts_.overrun || now.buf_overrun != eventCounts_.buf_overrun)
      Record(EV_ERR);
    if (now.brk != eventCounts_.brk) Record(EV_BREAK);
    eventCounts_ = now;
  }
}

// A full queue leaves the bytes in the kernel until a read makes room; watched arrivals
// are left to their reader. A hang-up is seen either way.
std::optional<short> PosixSerialDevice::WatchedLocked() {
  return static_cast<short>(queue_.Room() > 0 && !arrivalsWatched_ ? POLLIN : 0);
}

void PosixSerialDevice::DescriptorReadyLocked(short Got) {
  if (Got & POLLIN)
    FillLocked();
  else if (Got & (POLLHUP | POLLERR | POLLNVAL))
    MarkHungUpLocked();
}

int PosixSerialDevice::OutputQueued() {
  int out = 0;
  if (hungUp_ || ioctl(fd_, TIOCOUTQ, &out) != 0) return 0;
  return out;
}

void PosixSerialDevice::SetArrivalsWatched(bool Watched) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Watched == arrivalsWatched_) return;
  arrivalsWatched_ = Watched;
  wake_.Set();  // the event wait looks again, with or without the arrivals
}

bool PosixSerialDevice::ReadFile(void* Data, int Count, int& Read) {
  Read = 0;
  if (Count < 0) return Fail(EINVAL);
  std::lock_guard<std::mutex> lock(mutex_);
  const uint32_t pending = pending_;
  FillLocked();
  // The event wait did not wake for what this read brought: it must for anything but the
  // bytes themselves.
  if ((pending_ & ~pending & ~EV_RXCHAR) != 0) wake_.Set();
  Read = static_cast<int>(queue_.Take(Data, static_cast<size_t>(Count)));
  if (Read > 0 && kernelHolds_) {
    const uint32_t before = pending_;
    FillLocked();
    // The waiter sleeps without POLLIN while the queue is full: let it look again.
    if (pending_ != before || queue_.Room() > 0) wake_.Set();
  }
  return true;
}

bool PosixSerialDevice::WriteSome(const void* Data, int Count, int& Written) {
  Written = 0;
  if (hungUp_) return Fail(EIO);
  for (;;) {
    const ssize_t n = write(fd_, Data, static_cast<size_t>(Count));
    if (n >= 0) {
      Written = static_cast<int>(n);
      break;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN) return true;
    const int error = errno;
    if (Vanished(error)) MarkHungUp();
    return Fail(error);
  }
  if (Written > 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    NoteWrittenLocked(Written);
  }
  return true;
}

SerialDevice::WriteOutcome PosixSerialDevice::WaitWritable(
    int TimeoutMs, std::initializer_list<const WaitEvent*> Cancel, int& CancelledBy) {
  CancelledBy = -1;
  std::vector<pollfd> fds = WritePollSet({fd_, POLLOUT, 0}, Cancel);
  // A pseudo-terminal wakes a waiting writer only once about 10 KB have left, a second of
  // line at 115200: look again after a kilobyte's worth of line time.
  const int again = LineTimeMs(1024, baud_);
  const bool callersLimit = TimeoutMs >= 0 && TimeoutMs <= again;
  for (;;) {
    if (hungUp_) {
      SetLastError(EIO);
      return wrFailed;
    }
    const int r = poll(fds.data(), fds.size(), callersLimit ? TimeoutMs : again);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      SetLastError(errno);
      return wrFailed;
    }
    if (Cancelled(fds, CancelledBy)) return wrCancelled;
    if (r == 0) return callersLimit ? wrTimedOut : wrDone;
    if (!(fds[0].revents & POLLOUT)) {
      MarkHungUp();
      SetLastError(EIO);
      return wrFailed;
    }
    return wrDone;
  }
}

uint32_t PosixSerialDevice::CountedErrorsLocked() {
  serial_icounter_struct now{};
  if (!errorCounters_ || hungUp_ || ioctl(fd_, TIOCGICOUNT, &now) != 0) return 0;
  uint32_t errors = 0;
  if (now.frame != statusCounts_.frame) errors |= CE_FRAME;
  if (now.parity != statusCounts_.parity) errors |= CE_RXPARITY;
  if (now.overrun != statusCounts_.overrun) errors |= CE_OVERRUN;
  if (now.buf_overrun != statusCounts_.buf_overrun) errors |= CE_RXOVER;
  if (now.brk != statusCounts_.brk) errors |= CE_BREAK;
  statusCounts_ = now;
  return errors;
}

bool PosixSerialDevice::PurgeComm(uint32_t Flags) {
  if (Flags & ~(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR))
    return Fail(EINVAL);
  std::lock_guard<std::mutex> lock(mutex_);
  const bool tx = Flags & (PURGE_TXABORT | PURGE_TXCLEAR);
  const bool rx = Flags & (PURGE_RXABORT | PURGE_RXCLEAR);
  if (hungUp_) {
    if (rx) queue_.Clear();
    return true;
  }
  if (tx && tcflush(fd_, TCOFLUSH) != 0) return Fail(errno);
  if (rx) {
    if (tcflush(fd_, TCIFLUSH) != 0) return Fail(errno);
    queue_.Clear();
    parser_.Reset();
    kernelHolds_ = false;
    wake_.Set();
  }
  return true;
}

bool PosixSerialDevice::SetLine(int Line, bool On) {
  if (!modemControl_) return true;
  if (ioctl(fd_, On ? TIOCMBIS : TIOCMBIC, &Line) == 0) return true;
  if (NoModemControl(errno)) {
    modemControl_ = false;
    return true;
  }
  return Fail(errno);
}

bool PosixSerialDevice::EscapeCommFunction(uint32_t Func) {
  std::lock_guard<std::mutex> lock(mutex_);
  switch (Func) {
    case SETRTS: return SetLine(TIOCM_RTS, true);
    case CLRRTS: return SetLine(TIOCM_RTS, false);
    case SETDTR: return SetLine(TIOCM_DTR, true);
    case CLRDTR: return SetLine(TIOCM_DTR, false);
    case SETBREAK:
    case CLRBREAK:
      if (ioctl(fd_, Func == SETBREAK ? TIOCSBRK : TIOCCBRK) == 0) return true;
      return Fail(errno);
    default: return Fail(EINVAL);
  }
}

bool PosixSerialDevice::GetCommModemStatus(uint32_t& Status) {
  std::lock_guard<std::mutex> lock(mutex_);
  Status = 0;
  if (hungUp_) return true;  // carrier and every other line are gone
  if (!modemControl_) {
    Status = MS_CTS_ON | MS_DSR_ON;
    return true;
  }
  int lines = 0;
  if (ioctl(fd_, TIOCMGET, &lines) != 0) {
    if (Vanished(errno)) {
      MarkHungUpLocked();  // an adapter pulled: its lines are gone, not in error
      return true;
    }
    if (!NoModemControl(errno)) return Fail(errno);
    modemControl_ = false;
    Status = MS_CTS_ON | MS_DSR_ON;
    return true;
  }
  if (lines & TIOCM_CTS) Status |= MS_CTS_ON;
  if (lines & TIOCM_DSR) Status |= MS_DSR_ON;
  if (lines & TIOCM_RI) Status |= MS_RING_ON;
  if (lines & TIOCM_CD) Status |= MS_RLSD_ON;
  return true;
}

}  // namespace

std::unique_ptr<SerialDevice> OpenPosixSerialDevice(const std::string& Path, int& Error) {
  const int fd = open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    Error = errno;
    return nullptr;
  }
  auto refuse = [&](int Why) {
    close(fd);
    Error = Why;
    return nullptr;
  };
  if (!IsTermios2Device(fd)) return refuse(ENOTTY);
  // flock holds against every other opener, root included; TIOCEXCL keeps out
  // programs that do not lock.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return refuse(errno == EWOULDBLOCK ? EBUSY : errno);
  if (ioctl(fd, TIOCEXCL) != 0) return refuse(errno);
  Error = 0;
  return std::make_unique<PosixSerialDevice>(fd);
}
