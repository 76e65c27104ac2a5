// SPDX-License-Identifier: GPL-3.0-or-later
// Reads, writes, status, purges and the modem lines.
#include <algorithm>
#include <chrono>

#include "framework/ExceptionReport.h"
#include "serial/SerComm.h"
#include "serial/SerCommThreads.h"

namespace {

constexpr uint32_t kFlushTimeoutMs = 2000;
constexpr uint32_t kReceivePurge = PURGE_RXABORT | PURGE_RXCLEAR;

}  // namespace

int TSerCustomComm::WriteBuf(const void* Data, int Count) {
  if (!Active() || Count <= 0) return 0;
  if (directWrite_) return DirectWriteBuf(Data, Count);
  switch (Enqueue(Data, Count)) {
    case enqAccepted:
      return Count;
    case enqClosed:
      return 0;
    case enqFull:
      break;
  }
  throw ESerCommError("Output buffer is full. Please check comm status.");
}

bool TSerCustomComm::WriteChar(char Ch) { return WriteBuf(&Ch, 1) == 1; }

// Waits for room at most WriteTimeout ms; room appears as each part of a pass leaves. A
// worker thread blocks on the room signal; the main thread also runs the deliveries the
// port's threads wait on, and the room signal wakes it as well.
TSerCustomComm::EnqueueResult TSerCustomComm::Enqueue(const void* Data, int Count) {
  const auto* bytes = static_cast<const uint8_t*>(Data);
  TSerTimer timer;
  bool timing = false;
  for (;;) {
    uint64_t seen, wakes;
    {
      std::lock_guard<TSerCriticalSection> lock(writeLock_);
      if (!writeThread_) return enqClosed;
      ByteRing& queue = writeThread_->Queue();
      // A worker's bytes go to the device at once when nothing is ahead of them (and they
      // would fit the queue); the main thread only ever copies into the queue.
      if (!timing && Count <= queue.Capacity() && !IsMainThread())
        writeThread_->WriteAhead(bytes, Count);
      if (Count == 0) return enqAccepted;
      if (static_cast<int64_t>(queue.Size()) + Count <= queue.Capacity()) {
        // The write event is set exactly while the queue holds bytes.
        if (queue.Size() == 0) writeThread_->WriteEvent().SetEvent();
        queue.Append(bytes, Count);
        return enqAccepted;
      }
      seen = roomGeneration_;
      wakes = MainThreadWakes();  // room is signalled under this same lock
    }
    if (!timing) {
      TimerStart(timer, static_cast<uint32_t>(buffers_.WriteTimeout()));
      timing = true;
    }
    if (TimerExpired(timer)) return enqFull;
    const uint32_t left = timer.Limit - std::min(timer.Limit, TimerElapsed(timer)) + 1;
    if (IsMainThread()) {
      CheckSynchronize(static_cast<int>(std::min<uint32_t>(left, 1u << 30)), wakes);
    } else {
      std::unique_lock<std::mutex> room(roomMutex_);
      roomSignal_.wait_for(room, std::chrono::milliseconds(left),
                           [&] { return roomGeneration_ != seen; });
    }
  }
}

// Called under WriteLock whenever the queue shrinks or goes away.
void TSerCustomComm::SignalRoom() {
  {
    std::lock_guard<std::mutex> room(roomMutex_);
    ++roomGeneration_;
  }
  roomSignal_.notify_all();
  WakeMainThread();
}

int TSerCustomComm::DirectWriteBuf(const void* Data, int Count) {
  std::lock_guard<TSerCriticalSection> lock(writeLock_);
  if (!device_) return 0;
  int written = 0;
  int cancelledBy = -1;
  switch (device_->WriteFile(Data, Count, written, buffers_.ReadTimeout(),
                             {&closing_.Event()}, cancelledBy)) {
    case SerialDevice::wrDone:
      return written;
    case SerialDevice::wrTimedOut:
    case SerialDevice::wrCancelled:
      return 0;
    case SerialDevice::wrFailed:
      break;
  }
  RaiseCommError("Write error (%d), %s");
}

int TSerCustomComm::ReadBuf(void* Data, int Count) {
  if (!Active() || Count <= 0) return 0;
  std::lock_guard<TSerCriticalSection> lock(commLock_);
  if (!device_) return 0;
  int read = 0;
  CheckResult(device_->ReadFile(Data, Count, read), "Read error (%d), %s");
  return read;
}

std::string TSerCustomComm::ReadText() {
  const int count = InQueCount();
  if (count <= 0) return std::string();
  std::string text(static_cast<size_t>(count), '\0');
  text.resize(static_cast<size_t>(ReadBuf(text.data(), count)));
  return text;
}

int TSerCustomComm::InQueCount() {
  if (!Active()) return 0;
  uint32_t errors;
  COMSTAT stat;
  ReadStatus(errors, stat);
  return static_cast<int>(stat.cbInQue);
}

void TSerCustomComm::ReadStatus(uint32_t& Errors, COMSTAT& Stat) {
  std::lock_guard<TSerCriticalSection> lock(commLock_);
  Errors = 0;
  Stat = COMSTAT{};
  if (device_)
    CheckResult(device_->ClearCommError(Errors, Stat), "Error retrieving statistics (%d), %s");
}

bool TSerCustomComm::CheckErrors() {
  uint32_t errors;
  COMSTAT stat;
  ReadStatus(errors, stat);
  if (errors != 0 && OnError) Guarded([&] { OnError(this, static_cast<int>(errors)); });
  return errors != 0;
}

void TSerCustomComm::Purge(uint32_t Flags) {
  if (!Active()) return;
  std::lock_guard<TSerCriticalSection> lock(commLock_);
  if (!device_) return;
  if (Flags != kReceivePurge && writeThread_) Flush();
  CheckResult(device_->PurgeComm(Flags), "Error clearing buffers (%d), %s");
}

void TSerCustomComm::PurgeAll() {
  Purge(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
}

// Empties the queue at once; a pass under way writes nothing more of what it held and
// removes nothing queued later. Purge waits for that pass to end, so that its device
// purge comes after the last part written.
void TSerCustomComm::Flush() {
  {
    std::lock_guard<TSerCriticalSection> lock(writeLock_);
    EmptyWriteQueue();
    if (!writeThread_->Purged()) return;
  }
  writeThread_->WaitFlushDone(kFlushTimeoutMs);
}

void TSerCustomComm::EmptyWriteQueue() {
  writeThread_->Queue().Clear();
  writeThread_->WriteEvent().ResetEvent();
  SignalRoom();
}

int TSerCustomComm::OutputToGo() {
  std::lock_guard<TSerCriticalSection> lock(writeLock_);
  return OutputToGoLocked();
}

int TSerCustomComm::OutputToGoLocked() {
  if (!device_) return 0;
  return (writeThread_ ? writeThread_->Queue().Size() : 0) + device_->OutputQueued();
}

// Room in the queue is signalled as parts leave; what the device holds drains without a
// signal, so the wait also looks again when the line should have sent the excess.
bool TSerCustomComm::WaitForOutQue(int AtMost, int WaitMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(WaitMs);
  for (;;) {
    uint64_t seen;
    int excess;
    {
      std::lock_guard<TSerCriticalSection> lock(writeLock_);
      if (!device_) return true;
      excess = OutputToGoLocked() - AtMost;
      if (excess <= 0) return true;
      seen = roomGeneration_;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    const auto until = std::min(deadline, now + std::chrono::milliseconds(LineTimeMs(excess, lineRate_)));
    std::unique_lock<std::mutex> room(roomMutex_);
    roomSignal_.wait_until(room, until, [&] { return roomGeneration_ != seen; });
  }
}

bool TSerCustomComm::HungUp() {
  std::lock_guard<TSerCriticalSection> lock(writeLock_);
  return device_ && device_->HungUp();
}

void TSerCustomComm::ResumeReceive() {
  if (!rxHeldBack_.exchange(false)) return;
  std::lock_guard<TSerCriticalSection> lock(commLock_);
  if (device_) device_->RepeatRxChar();
}

// CommLock keeps the device while a component's thread reads it: Close frees it under the
// same lock.
int TSerCustomComm::WatchArrivals() {
  std::lock_guard<TSerCriticalSection> lock(commLock_);
  if (!device_) return -1;
  const bool direct = DeliverRxDirectly();
  const int fd = direct ? device_->ArrivalFd() : -1;
  if ((fd >= 0) != arrivalsWatched_) {
    arrivalsWatched_ = fd >= 0;
    device_->SetArrivalsWatched(arrivalsWatched_);
  }
  return fd;
}

void TSerCustomComm::UnwatchArrivals() {
  std::lock_guard<TSerCriticalSection> lock(commLock_);
  if (!arrivalsWatched_) return;
  arrivalsWatched_ = false;
  if (device_) device_->SetArrivalsWatched(false);
}

void TSerCustomComm::SetDTR(bool State) {
  if (flowControl_.ControlDtr() == dtrHandshake)
    throw ESerCommError("DTR line updates not allowed when flowcontrol is set to Handshake.");
  if (Active()) EscapeFunction(State ? SETDTR : CLRDTR);
}

void TSerCustomComm::SetRTS(bool State) {
  const TSerControlRts rts = flowControl_.ControlRts();
  if (rts == rtsHandshake || rts == rtsToggle)
    throw ESerCommError(
        "RTS line updates not allowed when flowcontrol is set to Handshake or Toggle.");
  if (Active()) EscapeFunction(State ? SETRTS : CLRRTS);
}

void TSerCustomComm::EscapeFunction(uint32_t Func) {
  CheckResult(device_->EscapeCommFunction(Func), "Error calling comm function (%d), %s");
}

bool TSerCustomComm::GetModemState(int Line) {
  uint32_t status = 0;
  if (Active())
    CheckResult(device_->GetCommModemStatus(status), "Error reading modem state (%d), %s");
  switch (Line) {
    case 1:
      return status & MS_CTS_ON;
    case 2:
      return status & MS_DSR_ON;
    case 3:
      return status & MS_RING_ON;
    case 4:
      return status & MS_RLSD_ON;
    default:
      return false;
  }
}
