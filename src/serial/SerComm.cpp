// SPDX-License-Identifier: GPL-3.0-or-later
// Open and close, writing the settings into the device, the threads' lifetime.
#include "serial/SerComm.h"

#include <algorithm>
#include <cerrno>
#include <strings.h>

#include "framework/ExceptionReport.h"
#include "platform/PortNames.h"
#include "platform/TickCount.h"
#include "serial/SerCommThreads.h"

namespace {

constexpr int kClosePauseMs = 300;

constexpr uint32_t kRates[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                               14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

// The EV_ bit of each TSerCommEvent, in ordinal order.
constexpr uint32_t kEventBits[] = {EV_BREAK, EV_CTS,     EV_DSR,    EV_ERR,    EV_RING,
                                   EV_RLSD,  EV_RXCHAR,  EV_TXEMPTY, EV_RXFLAG, EV_PERR,
                                   EV_RX80FULL, EV_EVENT1, EV_EVENT2};

// DeviceName with PortNum in place of its integer placeholder.
std::string FormatDeviceName(const std::string& Name, int Number) {
  std::string out;
  bool used = false;
  for (size_t i = 0; i < Name.size(); ++i) {
    if (Name[i] != '%' || i + 1 >= Name.size()) {
      out += Name[i];
      continue;
    }
    char conversion = Name[i + 1];
    if (conversion == '%') {
      out += '%';
      ++i;
    } else if (!used && (conversion == 'd' || conversion == 'i' || conversion == 'u')) {
      out += std::to_string(Number);
      used = true;
      ++i;
    } else {
      out += Name[i];
    }
  }
  return out;
}

}  // namespace

TSerCustomComm::TSerCustomComm(TComponent* AOwner) : TSerComponent(AOwner) {
  eventChars_.OnChange = [this](TObject*) { ApplyDCB(); };
  flowControl_.OnChange = [this](TObject*) { ApplyDCB(); };
  buffers_.OnChange = [this](TObject*) { BuffersChanged(); };
}

TSerCustomComm::~TSerCustomComm() {
  BeginDestroy();
  Guarded([this] { Close(); });
  while (!dispatchers_.empty()) DetachDispatcher(dispatchers_.back());
}

void TSerCustomComm::Loaded() {
  TSerComponent::Loaded();
  if (autoOpen_ && !(ComponentState() & csDesigning)) Open();
}

void TSerCustomComm::Notification(TComponent* AComponent, TOperation Operation) {
  TSerComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == display_.load()) display_ = nullptr;
}

std::string TSerCustomComm::GetDeviceFileName() const {
  // Linux device paths carry no prefix.
  return FormatDeviceName(deviceName_, portNum_);
}

void TSerCustomComm::Open() {
  CheckClosed();
  OpenDevice();
  try {
    ApplyDCB();
    ApplyBuffers();
    ApplyTimeouts();
    ApplyEventMask();
    StartThreads();
    DoOpen();
  } catch (...) {
    {
      std::lock_guard<TSerCriticalSection> lock(commLock_);
      StopThreads();
    }
    CloseDevice();
    throw;
  }
}

void TSerCustomComm::Close() {
  // A handler that closes the port from a delivery this close runs leaves it to this close.
  if (!Active() || closeUnderWay_) return;
  closeUnderWay_ = true;
  struct Done {
    bool& underWay;
    ~Done() { underWay = false; }
  } done{closeUnderWay_};
  {
    std::lock_guard<TSerCriticalSection> lock(commLock_);
    StopThreads();
  }
  CloseDevice();
  DoClose();
  SleepMs(kClosePauseMs);
}

void TSerCustomComm::OpenDevice() {
  const std::string path = GetDeviceFileName();
  int error = 0;
  std::unique_ptr<SerialDevice> device = OpenSerialDevice(path, error);
  if (!device) {
    if (error == ENOENT)
      throw ESerCommError(FormatMessage("Specified device not found (%s).", path.c_str()));
    throw ESerCommError(FormatMessage("Can't open specified device %s", path.c_str()) +
                        FormatMessage(" (Error %d, %s)", error, SystemErrorText(error).c_str()));
  }
  std::lock_guard<TSerCriticalSection> comm(commLock_);
  std::lock_guard<TSerCriticalSection> write(writeLock_);
  device_ = std::move(device);
  active_ = true;
}

void TSerCustomComm::CloseDevice() {
  active_ = false;
  closing_.SetEvent();  // ends a direct write that is waiting
  {
    std::lock_guard<TSerCriticalSection> comm(commLock_);
    std::lock_guard<TSerCriticalSection> write(writeLock_);
    // Output the line has not taken is dropped: a closing tty would wait for it to drain,
    // for as long as CTS or XOFF holds it.
    if (device_) device_->PurgeComm(PURGE_TXABORT | PURGE_TXCLEAR);
    device_.reset();
    arrivalsWatched_ = false;
  }
  closing_.ResetEvent();
}

void TSerCustomComm::ApplyDCB() {
  if (!Active() || !updateDcb_) return;
  DCB dcb;
  dcb.BaudRate = baudrate_ == brUser ? static_cast<uint32_t>(userBaudrate_) : kRates[baudrate_];
  lineRate_ = dcb.BaudRate;
  uint32_t flags = DCB_fBinary;
  if (options_ & SerOptions({coParityCheck})) flags |= DCB_fParity;
  if (flowControl_.OutCtsFlow()) flags |= DCB_fOutxCtsFlow;
  if (flowControl_.OutDsrFlow()) flags |= DCB_fOutxDsrFlow;
  flags |= static_cast<uint32_t>(flowControl_.ControlDtr()) << DCB_fDtrControlShift;
  if (flowControl_.DsrSensitivity()) flags |= DCB_fDsrSensitivity;
  if (flowControl_.TxContinueOnXoff()) flags |= DCB_fTXContinueOnXoff;
  if (flowControl_.XonXoffOut()) flags |= DCB_fOutX;
  if (flowControl_.XonXoffIn()) flags |= DCB_fInX;
  if (options_ & SerOptions({coErrorChar})) flags |= DCB_fErrorChar;
  if (options_ & SerOptions({coNullStrip})) flags |= DCB_fNull;
  flags |= static_cast<uint32_t>(flowControl_.ControlRts()) << DCB_fRtsControlShift;
  dcb.Flags = flags;
  dcb.XonLim = static_cast<uint16_t>(buffers_.XonLimit());
  dcb.XoffLim = static_cast<uint16_t>(buffers_.XoffLimit());
  dcb.ByteSize = static_cast<uint8_t>(4 + databits_);
  dcb.Parity = static_cast<uint8_t>(parity_);
  dcb.StopBits = static_cast<uint8_t>(stopbits_);
  dcb.XonChar = eventChars_.XonChar();
  dcb.XoffChar = eventChars_.XoffChar();
  dcb.ErrorChar = eventChars_.ErrorChar();
  dcb.EofChar = eventChars_.EofChar();
  dcb.EvtChar = eventChars_.EventChar();
  CheckResult(device_->SetCommState(dcb), "Error writing dcb (%d), %s");
}

void TSerCustomComm::ApplyBuffers() {
  if (!Active()) return;
  CheckResult(device_->SetupComm(static_cast<uint32_t>(buffers_.ReadSize()),
                                 static_cast<uint32_t>(buffers_.WriteSize())),
              "Error initializing buffers (%d), %s");
}

void TSerCustomComm::ApplyTimeouts() {
  if (!Active()) return;
  COMMTIMEOUTS timeouts;
  timeouts.ReadIntervalTimeout = MAXDWORD;  // a read returns at once with what is queued
  CheckResult(device_->SetCommTimeouts(timeouts), "Error setting timeouts (%d), %s");
}

void TSerCustomComm::ApplyEventMask() {
  uint32_t mask = 0;
  for (int e = ceBreak; e <= ceEvent2; ++e)
    if (monitorEvents_ & (1u << e)) mask |= kEventBits[e];
  // Queued writes report transmitter-empty from the write thread, not the device.
  if (!directWrite_) mask &= ~EV_TXEMPTY;
  eventMask_ = mask;
  if (Active()) CheckResult(device_->SetCommMask(mask), " Error setting EventMask (%d), %s");
}

void TSerCustomComm::StartThreads() {
  if (eventMask_ != 0) {
    eventThread_ = new TSerCommEventThread(*this);
    eventThread_->SetPriority(eventPriority_);
    eventThread_->SyncEvents = syncEvents_;
    eventThread_->Start();
  }
  if (!directWrite_) {
    auto* thread = new TSerCommWriteThread(*this, buffers_.WriteSize(), eventThread_ == nullptr);
    thread->SetPriority(writePriority_);
    thread->SyncEvents = syncEvents_;
    {
      std::lock_guard<TSerCriticalSection> lock(writeLock_);
      writeThread_ = thread;
    }
    thread->Start();
  }
}

void TSerCustomComm::StopThreads() {
  // While waiting, the main thread runs the deliveries the threads have already asked for.
  if (eventThread_) {
    eventThread_->Stop();
    EndThread(eventThread_);
    eventThread_ = nullptr;
  }
  if (writeThread_) {
    TSerCommWriteThread* thread = writeThread_;
    thread->Stop();
    EndThread(thread);
    std::lock_guard<TSerCriticalSection> lock(writeLock_);
    writeThread_ = nullptr;
    SignalRoom();  // a waiting enqueue sees the port closed
  }
}

// Waits for a stopped thread and frees it. A thread whose delivery is running now (a
// handler closing its own port) waits for that delivery: it frees itself once it returns.
void TSerCustomComm::EndThread(TThread* Thread) {
  if (std::find(delivering_.begin(), delivering_.end(), Thread) != delivering_.end()) {
    Thread->SetFreeOnTerminate(true);
    return;
  }
  Thread->WaitFor();
  delete Thread;
}

void TSerCustomComm::DoOpen() {
  if (OnOpen) Guarded([this] { OnOpen(this); });
}

void TSerCustomComm::DoClose() {
  if (!Destroying()) Fire(OnClose);
}

void TSerCustomComm::CheckClosed() const {
  if (Active()) throw ESerCommError("Can't perform this operation while port is open");
}

void TSerCustomComm::RaiseCommError(const char* Fmt) const {
  const int code = device_ ? device_->LastError() : errno;
  throw ESerCommError(FormatMessage(Fmt, code, SystemErrorText(code).c_str()));
}

void TSerCustomComm::CheckResult(bool Ok, const char* Fmt) const {
  if (!Ok) RaiseCommError(Fmt);
}

void TSerCustomComm::GetPortNames(std::vector<std::string>& List) {
  List.clear();
  // First pass: no duplicate check.
  for (const std::string& name : OnBoardPortNames()) List.push_back(name);
  // Second pass: a name already listed, in any letter case, is not added again.
  for (const std::string& name : OtherPortNames()) {
    bool known = false;
    for (const std::string& listed : List)
      if (strcasecmp(listed.c_str(), name.c_str()) == 0) known = true;
    if (!known) List.push_back(name);
  }
}
