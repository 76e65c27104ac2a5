// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/network/NetworkSerialDevice.h"

#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/DcbRules.h"
#include "platform/PolledSerialDevice.h"
#include "platform/TickCount.h"
#include "platform/network/ComPortClient.h"
#include "platform/network/NetworkConnect.h"

namespace {

using Clock = std::chrono::steady_clock;

// A server that has said nothing for this long after the connection has taken it.
constexpr int SettleQuietMs = 150;
// Output the server does not take (line changes while it reads nothing) is bounded.
constexpr size_t MaxPendingOutput = 1u << 20;
// One look at the socket reads at most this much, so a flood of commands cannot hold it.
constexpr size_t MaxReadPerLook = 256u << 10;
constexpr size_t LongestOpening = 64;
// What comes this soon after something was sent is taken for its answer (an XMODEM block,
// an echo).
constexpr size_t AnswerBytes = 4096;
// Input faster than StreamBytes in a StreamWindow (400 KB/s, beyond most serial lines) is
// a stream.
constexpr auto StreamWindow = std::chrono::milliseconds(10);
constexpr size_t StreamBytes = 4096;

std::atomic<int> connectLimitMs{0};

// What servers said of themselves. Kept for the program's whole life: an abandoned open
// may still finish on its own thread while the program ends.
struct Signatures {
  std::mutex Mutex;
  std::map<std::string, std::string> ByPort;
  std::function<void(const std::string&)> Hook;
};
Signatures& SignatureRegistry() {
  static auto* registry = new Signatures;
  return *registry;
}

// What a serial server sends, on a connection it then closes, when it cannot give the
// port: these texts are the server's, not the board's.
struct Refusal {
  const char* Text;
  int Error;
};
constexpr Refusal Refusals[] = {{"Device open failure", ENOENT},
                                {"Port's device already in use", EBUSY},
                                {"Port already in use", EBUSY}};

// The errno of the refusal Opening starts with; -1 while it may still become one; 0 when
// it is none.
int RefusalOf(const std::string& Opening) {
  bool maybe = false;
  for (const Refusal& r : Refusals) {
    const size_t n = std::strlen(r.Text);
    if (Opening.size() >= n && Opening.compare(0, n, r.Text) == 0) return r.Error;
    if (Opening.size() < n && std::strncmp(r.Text, Opening.data(), Opening.size()) == 0) maybe = true;
  }
  return maybe ? -1 : 0;
}

void SignatureHeard(const std::string& PortName, const std::string& Signature) {
  Signatures& registry = SignatureRegistry();
  std::function<void(const std::string&)> hook;
  {
    std::lock_guard<std::mutex> lock(registry.Mutex);
    registry.ByPort[PortName] = Signature;
    hook = registry.Hook;
  }
  if (hook) hook(PortName);
}

class NetworkSerialDevice : public PolledSerialDevice {
 public:
  NetworkSerialDevice(int Socket, bool Telnet, std::string Name)
      : PolledSerialDevice(Socket), telnet_(Telnet), name_(std::move(Name)) {
    resumed_.Set();
  }
  ~NetworkSerialDevice() override { close(fd_); }

  int Settle(Clock::time_point Deadline, const WaitEvent& Cancel);

  bool SetCommState(const DCB& Dcb) override;
  bool ReadFile(void* Data, int Count, int& Read) override;
  bool WriteSome(const void* Data, int Count, int& Written) override;
  WriteOutcome WaitWritable(int TimeoutMs, std::initializer_list<const WaitEvent*> Cancel,
                            int& CancelledBy) override;
  bool PurgeComm(uint32_t Flags) override;
  bool EscapeCommFunction(uint32_t Func) override;
  bool GetCommModemStatus(uint32_t& Status) override;
  int OutputQueued() override;

 private:
  void FillLocked() override { ReadSocketLocked(MaxReadPerLook); }
  int OutputQueuedLocked() override;
  std::optional<short> WatchedLocked() override;
  void DescriptorReadyLocked(short Got) override;
  // Bytes that came while the connection settled are told of now.
  void MaskChangedLocked() override {
    if (queue_.Size() > 0) Record(EV_RXCHAR);
  }
  void HungUpLocked() override { resumed_.Set(); }  // a writer held by the server finds the line gone
  void ReadSocketLocked(size_t Budget);
  bool AcknowledgeAtOnceLocked(size_t Bytes);
  void DecodeLocked(const uint8_t* Bytes, size_t Count);
  void StoreLocked(const uint8_t* Bytes, size_t Count);
  void TakeServerNewsLocked();
  void SendLocked(const std::string& Bytes);
  bool FlushLocked();
  size_t SendNow(const void* Bytes, size_t Count);
  size_t SendEncodedLocked(const uint8_t* Bytes, size_t Count);
  void MarkHungUpLocked(int Error);
  void DiscardReceivedLocked();

  const bool telnet_;
  const std::string name_;
  ComPortClient client_;
  std::string output_;  // encoded bytes the socket has not taken yet, in order
  std::string scratch_;
  int hangUpError_ = 0;
  bool discarding_ = false;
  bool settling_ = false;
  size_t answerLeft_ = 0;  // bytes still taken for the answer to what was sent last
  Clock::time_point windowStart_{};
  size_t windowBytes_ = 0;  // received since windowStart_
  std::string opening_;  // the first bytes of data while the connection settles
  std::string signature_;
  bool held_ = false;  // the server has asked for data to be held
  WaitEvent resumed_;  // set while it lets data be sent
};

// The server's first words tell whether it gave the port: a refusal text and a closed
// connection, or anything else (its COM port notifications, the board's bytes, silence).
int NetworkSerialDevice::Settle(Clock::time_point Deadline, const WaitEvent& Cancel) {
  std::unique_lock<std::mutex> lock(mutex_);
  settling_ = true;
  if (telnet_) SendLocked(client_.Start());
  auto quietUntil = Clock::now() + std::chrono::milliseconds(SettleQuietMs);
  for (;;) {
    if (hungUp_) {
      const int refusal = RefusalOf(opening_);
      return refusal > 0 ? refusal : hangUpError_ ? hangUpError_ : ECONNRESET;
    }
    if ((telnet_ && client_.Heard()) || (!opening_.empty() && RefusalOf(opening_) == 0)) break;
    const int wait = MsUntil(std::min(Deadline, quietUntil));
    if (wait == 0) break;
    pollfd fds[] = {{fd_, static_cast<short>(POLLIN | (output_.empty() ? 0 : POLLOUT)), 0},
                    {Cancel.Fd(), POLLIN, 0}};
    lock.unlock();
    const int r = poll(fds, 2, wait);
    const int error = errno;
    lock.lock();
    if (r < 0) {
      if (error == EINTR) continue;
      return error;
    }
    if (fds[1].revents & POLLIN) return ETIMEDOUT;
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      FillLocked();
      if (fds[0].revents & (POLLHUP | POLLERR)) MarkHungUpLocked(ECONNRESET);
      quietUntil = Clock::now() + std::chrono::milliseconds(SettleQuietMs);
    }
    if (fds[0].revents & POLLOUT) FlushLocked();
  }
  settling_ = false;
  opening_.clear();
  return 0;
}

bool NetworkSerialDevice::SetCommState(const DCB& Dcb) {
  if (const int refusal = CheckDcb(Dcb)) return Fail(refusal);
  std::lock_guard<std::mutex> lock(mutex_);
  if (hungUp_) return Fail(EIO);
  baud_ = Dcb.BaudRate;
  queue_.SetRules(Dcb.Flags & DCB_fNull, Dcb.Flags & DCB_fErrorChar, Dcb.ErrorChar, Dcb.EvtChar);
  // Every change goes to the server whole; nothing waits for its answers.
  if (telnet_) SendLocked(ComPortClient::LineSettings(Dcb));
  return true;
}

// Reads what the socket holds, as far as the input queue has room (all of it while
// discarding), at most Budget bytes.
void NetworkSerialDevice::ReadSocketLocked(size_t Budget) {
  uint8_t chunk[65536];
  while (!hungUp_ && Budget > 0 && (discarding_ || queue_.Room() > 0)) {
    size_t want = std::min(sizeof chunk, Budget);
    if (!discarding_) want = std::min(want, queue_.Room());
    const ssize_t n = recv(fd_, chunk, want, MSG_DONTWAIT);
    if (n > 0) {
      const int quick = AcknowledgeAtOnceLocked(static_cast<size_t>(n)) ? 1 : 0;
      setsockopt(fd_, IPPROTO_TCP, TCP_QUICKACK, &quick, sizeof quick);
      Budget -= static_cast<size_t>(n);
      DecodeLocked(chunk, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || errno != EAGAIN) MarkHungUpLocked(n == 0 ? 0 : errno);
    return;
  }
}

// A server that holds its next small piece until the last is acknowledged (ser2net does)
// sends an answer (an XMODEM block cut in two, an echo) or slow output only as fast as it
// is acknowledged. A fast stream that answers nothing is acknowledged late on purpose, so
// that the server gathers it into large pieces instead of sending each small read of its
// device alone, each a wake-up here.
bool NetworkSerialDevice::AcknowledgeAtOnceLocked(size_t Bytes) {
  const bool answer = answerLeft_ > 0;
  answerLeft_ -= std::min(answerLeft_, Bytes);
  const auto now = Clock::now();
  if (now - windowStart_ >= StreamWindow) {
    windowStart_ = now;
    windowBytes_ = 0;
  }
  windowBytes_ += Bytes;
  return answer || windowBytes_ <= StreamBytes;
}

void NetworkSerialDevice::DecodeLocked(const uint8_t* Bytes, size_t Count) {
  if (!telnet_) {
    StoreLocked(Bytes, Count);
    return;
  }
  std::string reply;
  client_.Feed(Bytes, Count, [this](const uint8_t* Data, size_t N) { StoreLocked(Data, N); }, reply);
  if (!reply.empty()) SendLocked(reply);
  TakeServerNewsLocked();
}

void NetworkSerialDevice::StoreLocked(const uint8_t* Bytes, size_t Count) {
  if (discarding_) return;
  if (settling_ && opening_.size() < LongestOpening)
    opening_.append(reinterpret_cast<const char*>(Bytes), std::min(Count, LongestOpening - opening_.size()));
  Record(queue_.Store(Bytes, Count));
}

void NetworkSerialDevice::TakeServerNewsLocked() {
  Record(client_.TakeEvents());
  ownErrors_ |= client_.TakeErrors();
  if (client_.Suspended() != held_) {
    held_ = client_.Suspended();
    if (held_)
      resumed_.Reset();
    else
      resumed_.Set();
  }
  if (client_.Signature() != signature_) {
    signature_ = client_.Signature();
    SignatureHeard(name_, signature_);
  }
}

// Control output (answers, commands) goes behind whatever the socket has not taken yet.
void NetworkSerialDevice::SendLocked(const std::string& Bytes) {
  if (hungUp_) return;
  output_ += Bytes;
  if (output_.size() > MaxPendingOutput) {
    MarkHungUpLocked(ENOBUFS);  // a server that reads nothing for so long is gone
    return;
  }
  if (FlushLocked() && !output_.empty()) wake_.Set();  // the event wait sends the rest
}

// False when the socket failed.
bool NetworkSerialDevice::FlushLocked() {
  while (!output_.empty() && !hungUp_) {
    const size_t sent = SendNow(output_.data(), output_.size());
    if (sent == 0) break;
    output_.erase(0, sent);
  }
  return !hungUp_;
}

// What the socket takes now; a failing socket is a hang-up.
size_t NetworkSerialDevice::SendNow(const void* Bytes, size_t Count) {
  for (;;) {
    const ssize_t n = send(fd_, Bytes, Count, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) answerLeft_ = AnswerBytes;
    if (n >= 0) return static_cast<size_t>(n);
    if (errno == EINTR) continue;
    if (errno != EAGAIN) MarkHungUpLocked(errno);
    return 0;
  }
}

// The error a hang-up's later failures report.
void NetworkSerialDevice::MarkHungUpLocked(int Error) {
  if (hungUp_) return;
  hangUpError_ = Error;
  PolledSerialDevice::MarkHungUpLocked();
}

// A full input queue leaves the bytes in the socket, which holds the server back; the
// socket is not watched at all then, so that its closing cannot wake the wait in vain.
std::optional<short> NetworkSerialDevice::WatchedLocked() {
  const short want = static_cast<short>((queue_.Room() > 0 ? POLLIN : 0) | (output_.empty() ? 0 : POLLOUT));
  if (!want) return std::nullopt;
  return want;
}

void NetworkSerialDevice::DescriptorReadyLocked(short Got) {
  if (Got & (POLLIN | POLLHUP | POLLERR)) FillLocked();
  if (Got & (POLLHUP | POLLERR)) MarkHungUpLocked(ECONNRESET);
  if (Got & POLLOUT) FlushLocked();
}

bool NetworkSerialDevice::ReadFile(void* Data, int Count, int& Read) {
  Read = 0;
  if (Count < 0) return Fail(EINVAL);
  std::lock_guard<std::mutex> lock(mutex_);
  FillLocked();
  const bool wasFull = queue_.Room() == 0;
  Read = static_cast<int>(queue_.Take(Data, static_cast<size_t>(Count)));
  if (Read > 0 && wasFull) {
    FillLocked();
    wake_.Set();  // the waiter left the socket alone while the queue was full
  }
  return true;
}

bool NetworkSerialDevice::WriteSome(const void* Data, int Count, int& Written) {
  Written = 0;
  std::lock_guard<std::mutex> lock(mutex_);
  if (hungUp_ || !FlushLocked()) return Fail(hangUpError_ ? hangUpError_ : EIO);
  if (!output_.empty() || client_.Suspended() || Count <= 0) return true;
  const auto* bytes = static_cast<const uint8_t*>(Data);
  size_t taken = telnet_ ? SendEncodedLocked(bytes, static_cast<size_t>(Count))
                         : SendNow(bytes, static_cast<size_t>(Count));
  Written = static_cast<int>(taken);
  if (hungUp_) return Fail(hangUpError_ ? hangUpError_ : EIO);
  NoteWrittenLocked(Written);
  return true;
}

// Data with every 0xFF doubled, a piece at a time so that little is encoded in vain when
// the socket is full. A doubled 0xFF cut in two leaves its second half to go first next
// time. Returns how many of the bytes went.
size_t NetworkSerialDevice::SendEncodedLocked(const uint8_t* Bytes, size_t Count) {
  constexpr size_t Piece = 16384;
  size_t done = 0;
  while (done < Count) {
    const uint8_t* piece = Bytes + done;
    const size_t n = std::min(Piece, Count - done);
    if (!std::memchr(piece, telnet::IAC, n)) {
      const size_t sent = SendNow(piece, n);
      done += sent;
      if (sent < n) break;
      continue;
    }
    scratch_.clear();
    TelnetCodec::AppendData(scratch_, piece, n);
    const size_t sent = SendNow(scratch_.data(), scratch_.size());
    size_t encoded = 0, taken = 0;
    while (taken < n) {
      const size_t length = piece[taken] == telnet::IAC ? 2 : 1;
      if (encoded + length > sent) break;
      encoded += length;
      ++taken;
    }
    if (encoded < sent) {
      output_.push_back(static_cast<char>(telnet::IAC));
      ++taken;
    }
    done += taken;
    if (taken < n) break;
  }
  return done;
}

SerialDevice::WriteOutcome NetworkSerialDevice::WaitWritable(
    int TimeoutMs, std::initializer_list<const WaitEvent*> Cancel, int& CancelledBy) {
  CancelledBy = -1;
  bool held;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (hungUp_) {
      SetLastError(hangUpError_ ? hangUpError_ : EIO);
      return wrFailed;
    }
    held = client_.Suspended();
  }
  // Held by the server: wait for its resume; otherwise for room in the socket.
  const pollfd awaited = held ? pollfd{resumed_.Fd(), POLLIN, 0} : pollfd{fd_, POLLOUT, 0};
  std::vector<pollfd> fds = WritePollSet(awaited, Cancel);
  int r;
  do r = poll(fds.data(), fds.size(), TimeoutMs);
  while (r < 0 && errno == EINTR);
  if (r < 0) {
    SetLastError(errno);
    return wrFailed;
  }
  if (Cancelled(fds, CancelledBy)) return wrCancelled;
  if (r == 0) return wrTimedOut;
  if (!held && (fds[0].revents & (POLLERR | POLLHUP))) {
    std::lock_guard<std::mutex> lock(mutex_);
    MarkHungUpLocked(ECONNRESET);
    SetLastError(ECONNRESET);
    return wrFailed;
  }
  return wrDone;
}

// What has come but not been read goes, the socket's share too (its commands still count).
void NetworkSerialDevice::DiscardReceivedLocked() {
  int waiting = 0;
  if (!hungUp_ && ioctl(fd_, FIONREAD, &waiting) == 0 && waiting > 0) {
    discarding_ = true;
    ReadSocketLocked(static_cast<size_t>(waiting));
    discarding_ = false;
  }
  queue_.Clear();
  wake_.Set();
}

bool NetworkSerialDevice::PurgeComm(uint32_t Flags) {
  if (Flags & ~(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) return Fail(EINVAL);
  const bool tx = Flags & (PURGE_TXABORT | PURGE_TXCLEAR);
  const bool rx = Flags & (PURGE_RXABORT | PURGE_RXCLEAR);
  std::lock_guard<std::mutex> lock(mutex_);
  if (rx) DiscardReceivedLocked();
  // What the socket has taken is on its way; the server drops what it still holds.
  if (telnet_ && (tx || rx)) SendLocked(ComPortClient::Purge(tx, rx));
  return true;
}

bool NetworkSerialDevice::EscapeCommFunction(uint32_t Func) {
  uint8_t control;
  switch (Func) {
    case SETRTS: control = comport::RTS_ON; break;
    case CLRRTS: control = comport::RTS_OFF; break;
    case SETDTR: control = comport::DTR_ON; break;
    case CLRDTR: control = comport::DTR_OFF; break;
    case SETBREAK: control = comport::BREAK_ON; break;
    case CLRBREAK: control = comport::BREAK_OFF; break;
    default: return Fail(EINVAL);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (hungUp_) return Fail(EIO);
  if (telnet_) SendLocked(ComPortClient::Control(control));
  return true;
}

bool NetworkSerialDevice::GetCommModemStatus(uint32_t& Status) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (hungUp_)
    Status = 0;
  else
    Status = telnet_ ? client_.ModemStatus() : MS_CTS_ON | MS_DSR_ON;
  return true;
}

int NetworkSerialDevice::OutputQueuedLocked() {
  int unsent = 0;
  if (hungUp_ || ioctl(fd_, SIOCOUTQ, &unsent) != 0) unsent = 0;
  return unsent + static_cast<int>(output_.size());
}

int NetworkSerialDevice::OutputQueued() {
  std::lock_guard<std::mutex> lock(mutex_);
  return OutputQueuedLocked();
}

// One open under way: resolving, connecting and settling on a thread of its own, which
// the opener waits for at most the connect limit and otherwise abandons.
struct OpenJob {
  NetworkAddress Address;
  std::string Name;
  Clock::time_point Deadline;
  WaitEvent Done, Cancel;
  std::mutex Mutex;
  bool Finished = false, Abandoned = false;
  int Error = 0;
  std::unique_ptr<NetworkSerialDevice> Device;

  void Run() {
    int error = 0;
    std::unique_ptr<NetworkSerialDevice> device;
    const int fd = ConnectSocket(Address, Deadline, Cancel, error);
    if (fd >= 0) {
      device = std::make_unique<NetworkSerialDevice>(fd, Address.Telnet, Name);
      if ((error = device->Settle(Deadline, Cancel)) != 0) device.reset();
    }
    {
      std::lock_guard<std::mutex> lock(Mutex);
      Finished = true;
      Error = error;
      if (!Abandoned) Device = std::move(device);
    }
    Done.Set();
  }
};

}  // namespace

std::unique_ptr<SerialDevice> OpenNetworkSerialDevice(const std::string& Name, int& Error) {
  const std::optional<NetworkAddress> address = ParseNetworkPortName(Name);
  if (!address) {
    Error = EINVAL;
    return nullptr;
  }
  const int limit = connectLimitMs > 0 ? connectLimitMs.load() : NetworkConnectLimitMs;
  auto job = std::make_shared<OpenJob>();
  job->Address = *address;
  job->Name = Name;
  job->Deadline = Clock::now() + std::chrono::milliseconds(limit);
  std::thread([job] { job->Run(); }).detach();
  WaitForNetworkOpen(job->Done, MsUntil(job->Deadline));
  std::lock_guard<std::mutex> lock(job->Mutex);
  if (!job->Finished) {
    // A resolver that does not answer cannot be stopped: its thread ends on its own.
    job->Abandoned = true;
    job->Cancel.Set();
    Error = ETIMEDOUT;
    return nullptr;
  }
  Error = job->Error;
  return std::move(job->Device);
}

void SetNetworkConnectLimitMs(int LimitMs) { connectLimitMs = LimitMs; }

std::string ServerSignatureOf(const std::string& PortName) {
  Signatures& registry = SignatureRegistry();
  std::lock_guard<std::mutex> lock(registry.Mutex);
  const auto it = registry.ByPort.find(PortName);
  return it == registry.ByPort.end() ? std::string() : it->second;
}

void SetServerSignatureHook(std::function<void(const std::string& PortName)> Hook) {
  Signatures& registry = SignatureRegistry();
  std::lock_guard<std::mutex> lock(registry.Mutex);
  registry.Hook = std::move(Hook);
}
