// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/VirtualLine.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <utility>

#include "platform/DcbRules.h"
#include "platform/InputQueue.h"
#include "platform/TickCount.h"
#include "platform/WaitEvent.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int BitsPerByte = 10;
// What a paced line holds for one direction, as a UART and its adapter do: a writer
// waits once this much is on its way.
constexpr size_t PacedLineHolds = 4096;

VirtualLine::End Other(VirtualLine::End E) { return E == VirtualLine::A ? VirtualLine::B : VirtualLine::A; }

// Bytes on their way to one end. Each chunk's bytes arrive PerByte apart, the first at
// First; unpaced chunks arrive at once.
struct Chunk {
  size_t Count;
  Clock::time_point First;
  Clock::duration PerByte;

  size_t ArrivedBy(Clock::time_point Now) const {
    if (PerByte == Clock::duration::zero()) return Count;
    if (Now < First) return 0;
    return std::min(Count, static_cast<size_t>((Now - First) / PerByte) + 1);
  }
  void DropFront(size_t N) {
    Count -= N;
    First += PerByte * static_cast<long>(N);
  }
};

struct Transit {
  std::string Bytes;  // from Head on
  size_t Head = 0;
  std::deque<Chunk> Chunks;
  Clock::time_point FreeAt{};  // when the line is next idle

  size_t Size() const { return Bytes.size() - Head; }
  const uint8_t* Front() const { return reinterpret_cast<const uint8_t*>(Bytes.data()) + Head; }
  void Consume(size_t N) {
    Head += N;
    if (Head == Bytes.size()) {
      Bytes.clear();
      Head = 0;
    } else if (Head > 65536 && Head > Bytes.size() / 2) {
      Bytes.erase(0, Head);
      Head = 0;
    }
  }
  void Clear() {
    Bytes.clear();
    Head = 0;
    Chunks.clear();
  }
  // Takes back the bytes that have not arrived by Now; returns how many.
  size_t WithdrawUnarrived(Clock::time_point Now) {
    size_t withdrawn = 0;
    while (!Chunks.empty()) {
      Chunk& c = Chunks.back();
      const size_t late = c.Count - c.ArrivedBy(Now);
      withdrawn += late;
      c.Count -= late;
      if (c.Count > 0) break;
      Chunks.pop_back();
    }
    Bytes.resize(Bytes.size() - withdrawn);
    FreeAt = std::min(FreeAt, Now);
    return withdrawn;
  }
};

}  // namespace

struct VirtualLine::Impl {
  struct EndState {
    bool Rts = false, Dtr = false, Ring = false;
    std::vector<LineChange> DtrHistory, RtsHistory;
    Transit Incoming;
    std::string Arrived;  // delivered while no device is open at this end
    bool Open = false;
    InputQueue Queue;
    DCB LastDcb{};
    int DcbWrites = 0;
    uint32_t Mask = 0;
    uint32_t Pending = 0;
    uint64_t MaskGeneration = 0;
    uint32_t Errors = 0;
    bool Holds = false;  // the queue is full with bytes still on the line
    int RefuseDcb = 0;
    int FailWrites = 0;
    bool HangUpUnreported = false;
    bool TxPending = false;  // a direct write has not fully arrived yet
    WaitEvent Wake;
    WaitEvent Room;  // set when what this end sent has moved on
  };

  std::string Name;
  mutable std::mutex Mutex;
  std::condition_variable Changed;
  bool Paced = false;
  bool HungUp = false;
  WaitEvent HungUpEvent;
  EndState Ends[2];

  void Notify(End E) {
    Ends[E].Wake.Set();
    Changed.notify_all();
  }
  void Record(End E, uint32_t Events) {
    if (Ends[E].Open) Ends[E].Pending |= Events & Ends[E].Mask;
  }

  Clock::duration PerByte(End From) const {
    if (!Paced) return Clock::duration::zero();
    uint32_t rate = Ends[From].DcbWrites ? Ends[From].LastDcb.BaudRate : 0;
    if (rate == 0 && Ends[Other(From)].DcbWrites) rate = Ends[Other(From)].LastDcb.BaudRate;
    if (rate == 0) return Clock::duration::zero();
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::nanoseconds(1000000000LL * BitsPerByte / rate));
  }

  // Puts bytes on the line from From; returns when the last of them arrives.
  Clock::time_point Enqueue(End From, const void* Data, size_t Count) {
    const End to = Other(From);
    Transit& line = Ends[to].Incoming;
    const auto now = Clock::now();
    const auto perByte = PerByte(From);
    const auto start = std::max(now, line.FreeAt);
    line.Bytes.append(static_cast<const char*>(Data), Count);
    line.Chunks.push_back({Count, start + perByte, perByte});
    line.FreeAt = start + perByte * static_cast<long>(Count);
    Deliver(to);
    Notify(to);
    return line.FreeAt;
  }

  // Moves what has arrived at E into its device queue (or, with no device open, into
  // Arrived for the scripted peer).
  void Deliver(End E) {
    EndState& end = Ends[E];
    Transit& line = end.Incoming;
    const auto now = Clock::now();
    while (!line.Chunks.empty()) {
      Chunk& c = line.Chunks.front();
      size_t n = c.ArrivedBy(now);
      if (n == 0) return;
      if (end.Open) {
        const size_t room = end.Queue.Room();
        const bool full = n > room;
        n = std::min(n, room);
        Record(E, end.Queue.Store(line.Front(), n));
        end.Holds = full;
        if (full && end.Queue.NoteOverrun()) {
          end.Errors |= CE_RXOVER;
          Record(E, EV_ERR);
        }
      } else {
        end.Arrived.append(reinterpret_cast<const char*>(line.Front()), n);
      }
      line.Consume(n);
      c.DropFront(n);
      if (c.Count == 0) line.Chunks.pop_front();
      Moved(Other(E));
      if (end.Holds) return;
    }
  }

  // What From sent has moved on: a writer waiting for room, or for the line to empty, looks again.
  void Moved(End From) {
    Ends[From].Room.Set();
    if (Ends[From].TxPending) Notify(From);
  }

  // How many more bytes From may put on the line now.
  size_t RoomFrom(End From, size_t Wanted) {
    if (!Paced) return Wanted;
    const End to = Other(From);
    Deliver(to);
    const size_t held = Ends[to].Incoming.Size();
    return held >= PacedLineHolds ? 0 : std::min(Wanted, PacedLineHolds - held);
  }

  // When the next byte for E arrives, if one is on its way and can be taken.
  bool NextArrival(End E, Clock::time_point& When) const {
    const EndState& end = Ends[E];
    if (end.Incoming.Chunks.empty() || (end.Open && end.Queue.Room() == 0)) return false;
    When = end.Incoming.Chunks.front().First;
    return true;
  }

  void DropArrived(End E) {
    Transit& line = Ends[E].Incoming;
    const auto now = Clock::now();
    while (!line.Chunks.empty()) {
      Chunk& c = line.Chunks.front();
      const size_t n = c.ArrivedBy(now);
      line.Consume(n);
      c.DropFront(n);
      Moved(Other(E));
      if (c.Count > 0) return;
      line.Chunks.pop_front();
    }
  }

  void SetLine(End E, bool EndState::*Line, bool On) {
    EndState& end = Ends[E];
    if (end.*Line == On) return;
    end.*Line = On;
    const LineChange change{On, Clock::now()};
    const End far = Other(E);
    if (Line == &EndState::Dtr) {
      end.DtrHistory.push_back(change);
      Record(far, EV_DSR | EV_RLSD);
    } else if (Line == &EndState::Rts) {
      end.RtsHistory.push_back(change);
      Record(far, EV_CTS);
    } else if (On) {
      Record(far, EV_RING);
    }
    Notify(far);
    Changed.notify_all();
  }

  void OpenEnd(End E) {
    EndState& end = Ends[E];
    end.Open = true;
    end.Queue = InputQueue();
    end.Mask = end.Pending = end.Errors = 0;
    end.Holds = false;
    end.HangUpUnreported = end.TxPending = false;
    end.Wake.Reset();
    // Bytes that came before the open wait in the queue, as a terminal keeps them.
    const std::string early = std::move(end.Arrived);
    end.Arrived.clear();
    end.Queue.Store(reinterpret_cast<const uint8_t*>(early.data()), early.size());
    // open() raises DTR and RTS on a real port.
    SetLine(E, &EndState::Dtr, true);
    SetLine(E, &EndState::Rts, true);
  }

  void CloseEnd(End E) {
    EndState& end = Ends[E];
    end.Open = false;
    end.Queue.Clear();
    SetLine(E, &EndState::Dtr, false);
    SetLine(E, &EndState::Rts, false);
  }
};

namespace {

using Impl = VirtualLine::Impl;

std::mutex registryMutex;
std::map<std::string, std::weak_ptr<Impl>>& Registry() {
  static std::map<std::string, std::weak_ptr<Impl>> lines;
  return lines;
}

class VirtualLineDevice : public SerialDevice {
 public:
  VirtualLineDevice(std::shared_ptr<Impl> Line, VirtualLine::End E) : line_(std::move(Line)), e_(E) {}
  ~VirtualLineDevice() override {
    std::lock_guard<std::mutex> lock(line_->Mutex);
    line_->CloseEnd(e_);
  }

  bool SetCommState(const DCB& Dcb) override {
    std::lock_guard<std::mutex> lock(line_->Mutex);
    Impl::EndState& end = End();
    if (end.RefuseDcb) return Fail(end.RefuseDcb);
    if (const int refusal = CheckDcb(Dcb)) return Fail(refusal);
    if (line_->HungUp) return Fail(EIO);
    end.LastDcb = Dcb;
    ++end.DcbWrites;
    end.Queue.SetRules(Dcb.Flags & DCB_fNull, Dcb.Flags & DCB_fErrorChar, Dcb.ErrorChar, Dcb.EvtChar);
    line_->SetLine(e_, &Impl::EndState::Dtr, DtrControlOf(Dcb) == DtrEnable);
    // With RTS handshake the receiver always has room: RTS stays up.
    line_->SetLine(e_, &Impl::EndState::Rts, RtsControlOf(Dcb) != RtsDisable);
    return true;
  }

  bool SetupComm(uint32_t InQueue, uint32_t) override {
    std::lock_guard<std::mutex> lock(line_->Mutex);
    if (!End().Queue.SetCapacity(InQueue)) return Fail(ENOMEM);
    line_->Deliver(e_);
    line_->Notify(e_);
    return true;
  }

  bool SetCommTimeouts(const COMMTIMEOUTS&) override { return true; }

  bool SetCommMask(uint32_t Mask) override {
    std::lock_guard<std::mutex> lock(line_->Mutex);
    Impl::EndState& end = End();
    end.Mask = Mask;
    end.Pending = 0;
    ++end.MaskGeneration;
    line_->Notify(e_);
    return true;
  }

  bool WaitCommEvent(uint32_t& Events, const WaitEvent& Stop) override {
    Events = 0;
    std::unique_lock<std::mutex> lock(line_->Mutex);
    Impl::EndState& end = End();
    const uint64_t generation = end.MaskGeneration;
    for (;;) {
      if (generation != end.MaskGeneration) return true;
      if (!line_->HungUp) line_->Deliver(e_);
      if ((Events = TakeReady()) != 0) return true;
      end.Wake.Reset();
      const int timeout = NextLook();
      pollfd fds[2] = {{Stop.Fd(), POLLIN, 0}, {end.Wake.Fd(), POLLIN, 0}};
      lock.unlock();
      const int r = poll(fds, 2, timeout);
      const int error = errno;
      lock.lock();
      if (r < 0 && error != EINTR) return Fail(error);
      if (fds[0].revents & POLLIN) return true;
    }
  }

  int OutputQueued() override {
    std::lock_guard<std::mutex> lock(line_->Mutex);
    line_->Deliver(Other(e_));
    return static_cast<int>(line_->Ends[Other(e_)].Incoming.Size());
  }

  void RepeatRxChar() override {
    std::lock_guard<std::mutex> lock(line_->Mutex);
    Impl::EndState& end = End();
    if (!line_->HungUp) line_->Deliver(e_);
    if (end.Queue.Size() == 0) return;
    line_->Record(e_, EV_RXCHAR);
    line_->Notify(e_);
  }

  bool HungUp() const override {
    std::lock_guard<std::mutex> lock(line_->Mutex);
    return line_->HungUp;
  }

  bool ReadFile(void* Data, int Count, int& Read) override {
    Read = 0;
    if (Count < 0) return Fail(EINVAL);
    std::lock_guard<std::mutex> lock(line_->Mutex);
    Impl::EndState& end = End();
    if (!line_->HungUp) line_->Deliver(e_);
    Read = static_cast<int>(end.Queue.Take(Data, static_cast<size_t>(Count)));
    if (Read > 0 && end.Holds) {
      line_->Deliver(e_);
      end.Wake.Set();
    }
    return true;
  }

  bool WriteSome(const void* Data, int Count, int& Written) override {
    Written = 0;
    std::lock_guard<std::mutex> lock(line_->Mutex);
    Impl::EndState& end = End();
    if (line_->HungUp) return Fail(EIO);
    if (end.FailWrites) return Fail(end.FailWrites);
    if (Count <= 0) return true;
    Written = static_cast<int>(line_->RoomFrom(e_, static_cast<size_t>(Count)));
    if (Written == 0) return true;
    line_->Enqueue(e_, Data, static_cast<size_t>(Written));
    if (end.Mask & EV_TXEMPTY) {
      end.TxPending = true;
      line_->Notify(e_);
    }
    return true;
  }

  WriteOutcome WaitWritable(int TimeoutMs, std::initializer_list<const WaitEvent*> Cancel,
                            int& CancelledBy) override {
    CancelledBy = -1;
    const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
    std::vector<pollfd> fds{{line_->HungUpEvent.Fd(), POLLIN, 0}, {End().Room.Fd(), POLLIN, 0}};
    for (const WaitEvent* e : Cancel) fds.push_back({e->Fd(), POLLIN, 0});
    std::unique_lock<std::mutex> lock(line_->Mutex);
    for (;;) {
      if (line_->HungUp) return Failed(EIO);
      if (line_->RoomFrom(e_, 1) > 0) return wrDone;
      End().Room.Reset();
      // Room comes when the next byte arrives, or when the far end takes held bytes.
      Clock::time_point next;
      int wait = line_->NextArrival(Other(e_), next) ? MsUntil(next) : -1;
      if (TimeoutMs >= 0) {
        const int left = MsUntil(deadline);
        if (left == 0) return wrTimedOut;
        wait = wait < 0 ? left : std::min(wait, left);
      }
      lock.unlock();
      for (pollfd& f : fds) f.revents = 0;
      const int r = poll(fds.data(), fds.size(), std::max(wait, wait < 0 ? -1 : 1));
      lock.lock();
      if (r < 0 && errno != EINTR) return Failed(errno);
      for (size_t i = 2; i < fds.size(); ++i)
        if (fds[i].revents & POLLIN) {
          CancelledBy = static_cast<int>(i - 2);
          return wrCancelled;
        }
    }
  }

  bool ClearCommError(uint32_t& Errors, COMSTAT& Stat) override {
    std::lock_guard<std::mutex> lock(line_->Mutex);
    Impl::EndState& end = End();
    if (!line_->HungUp) line_->Deliver(e_);
    Errors = end.Errors | (line_->HungUp ? CE_IOE : 0);
    end.Errors = 0;
    Stat = COMSTAT{};
    Stat.cbInQue = static_cast<uint32_t>(end.Queue.Size());
    Stat.cbOutQue = static_cast<uint32_t>(line_->Ends[Other(e_)].Incoming.Size());
    return true;
  }

  bool PurgeComm(uint32_t Flags) override {
    if (Flags & ~(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR))
      return Fail(EINVAL);
    std::lock_guard<std::mutex> lock(line_->Mutex);
    Impl::EndState& end = End();
    if (Flags & (PURGE_TXABORT | PURGE_TXCLEAR)) {
      line_->Ends[Other(e_)].Incoming.WithdrawUnarrived(Clock::now());
      line_->Moved(e_);
    }
    if (Flags & (PURGE_RXABORT | PURGE_RXCLEAR)) {
      end.Queue.Clear();
      line_->DropArrived(e_);
      end.Holds = false;
      line_->Notify(e_);
    }
    return true;
  }

  bool EscapeCommFunction(uint32_t Func) override {
    std::lock_guard<std::mutex> lock(line_->Mutex);
    if (line_->HungUp) return Fail(EIO);
    switch (Func) {
      case SETRTS: line_->SetLine(e_, &Impl::EndState::Rts, true); return true;
      case CLRRTS: line_->SetLine(e_, &Impl::EndState::Rts, false); return true;
      case SETDTR: line_->SetLine(e_, &Impl::EndState::Dtr, true); return true;
      case CLRDTR: line_->SetLine(e_, &Impl::EndState::Dtr, false); return true;
      case SETBREAK: {  // the other end sees the break begin
        const VirtualLine::End other = Other(e_);
        line_->Ends[other].Errors |= CE_BREAK;
        line_->Record(other, EV_BREAK);
        line_->Notify(other);
        return true;
      }
      case CLRBREAK: return true;
      default: return Fail(EINVAL);
    }
  }

  bool GetCommModemStatus(uint32_t& Status) override {
    std::lock_guard<std::mutex> lock(line_->Mutex);
    Status = 0;
    if (line_->HungUp) return true;
    const Impl::EndState& far = line_->Ends[Other(e_)];
    if (far.Rts) Status |= MS_CTS_ON;
    if (far.Dtr) Status |= MS_DSR_ON | MS_RLSD_ON;
    if (far.Ring) Status |= MS_RING_ON;
    return true;
  }

 private:
  Impl::EndState& End() { return line_->Ends[e_]; }
  bool Fail(int Error) const {
    SetLastError(Error);
    return false;
  }
  WriteOutcome Failed(int Error) const {
    SetLastError(Error);
    return wrFailed;
  }

  // The events ready now: what the mask lets through, a hang-up once whatever the mask,
  // and transmitter-empty once a direct write has fully arrived.
  uint32_t TakeReady() {
    Impl::EndState& end = End();
    uint32_t ready = end.Pending & end.Mask;
    end.Pending &= ~ready;
    if (end.HangUpUnreported) {
      end.HangUpUnreported = false;
      ready |= EV_ERR;
    }
    if (end.TxPending && !line_->HungUp) {
      line_->Deliver(Other(e_));
      if (line_->Ends[Other(e_)].Incoming.Size() == 0) {
        end.TxPending = false;
        ready |= end.Mask & EV_TXEMPTY;
      }
    }
    return ready;
  }

  // Milliseconds until the wait must look again by itself (-1: only when woken).
  int NextLook() {
    if (line_->HungUp) return -1;
    Clock::time_point next;
    int wait = line_->NextArrival(e_, next) ? MsUntil(next) : -1;
    const Impl::EndState& far = line_->Ends[Other(e_)];
    if (End().TxPending && !far.Holds && !far.Incoming.Chunks.empty()) {
      const int drained = std::max(1, MsUntil(far.Incoming.FreeAt));
      wait = wait < 0 ? drained : std::min(wait, drained);
    }
    return wait;
  }

  std::shared_ptr<Impl> line_;
  const VirtualLine::End e_;
};

}  // namespace

std::shared_ptr<VirtualLine> VirtualLine::Create(const std::string& Name) {
  auto impl = std::make_shared<Impl>();
  impl->Name = Name;
  std::lock_guard<std::mutex> lock(registryMutex);
  auto& lines = Registry();
  for (auto it = lines.begin(); it != lines.end();)
    it = it->second.expired() ? lines.erase(it) : std::next(it);
  lines[Name] = impl;
  return std::shared_ptr<VirtualLine>(new VirtualLine(impl));
}

VirtualLine::~VirtualLine() = default;

std::string VirtualLine::Path(End E) const {
  return "vline:" + impl_->Name + (E == A ? ":A" : ":B");
}

void VirtualLine::SetPaced(bool Paced) {
  std::lock_guard<std::mutex> lock(impl_->Mutex);
  impl_->Paced = Paced;
}

void VirtualLine::Send(End E, const void* Data, size_t Count) {
  std::lock_guard<std::mutex> lock(impl_->Mutex);
  if (impl_->HungUp || Count == 0) return;
  impl_->Enqueue(E, Data, Count);
}

std::string VirtualLine::Take(End E) {
  std::lock_guard<std::mutex> lock(impl_->Mutex);
  impl_->Deliver(E);
  return std::exchange(impl_->Ends[E].Arrived, std::string());
}

std::string VirtualLine::TakeAtLeast(End E, size_t Count, int TimeoutMs) {
  std::unique_lock<std::mutex> lock(impl_->Mutex);
  const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
  for (;;) {
    impl_->Deliver(E);
    if (impl_->Ends[E].Arrived.size() >= Count || Clock::now() >= deadline) break;
    Clock::time_point until = deadline, next;
    if (impl_->NextArrival(E, next)) until = std::min(until, next);
    impl_->Changed.wait_until(lock, until);
  }
  return std::exchange(impl_->Ends[E].Arrived, std::string());
}

void VirtualLine::SetRts(End E, bool On) {
  std::lock_guard<std::mutex> lock(impl_->Mutex);
  impl_->SetLine(E, &Impl::EndState::Rts, On);
}

void VirtualLine::SetDtr(End E, bool On) {
  std::lock_guard<std::mutex> lock(impl_->Mutex);
  impl_->SetLine(E, &Impl::EndState::Dtr, On);
}

void VirtualLine::SetRing(End E, bool On) {
  std::lock_guard<std::mutex> lock(impl_->Mutex);
  impl_->SetLine(E, &Impl::EndState::Ring, On);
}

bool VirtualLine::Rts(End E) const {
  std::lock_guard<std::mutex> lock(impl_->Mutex);
  return impl_->Ends[E].Rts;
}

bool VirtualLine::Dtr(End E) const {
  std::lock_guard<std::mutex> lock(impl_->Mutex);
  return impl_->Ends[E].Dtr;
}

std::vector<VirtualLine::LineChange> VirtualLine::DtrHistory(End E) const {
  std::lock_guard<std::mutex> lock(impl_->Mutex);
  return impl_->Ends[E].DtrHistory;
}

std::vector<VirtualLine::LineChange> VirtualLine::RtsHistory(End E) const {
  std::lock_guard<std::mutex> lock(impl_->Mutex);
  return impl_->Ends[E].RtsHistory;
}

DCB VirtualLine::LastDcb(End E) const {
  std::lock_guard<std::mutex> lock(impl_->Mutex);
  return impl_->Ends[E].LastDcb;
}

int VirtualLine::DcbWrites(End E) const {
  std::lock_guard<std::mutex> lock(impl_->Mutex);
  return impl_->Ends[E].DcbWrites;
}

uint32_t VirtualLine::LastMask(End E) const {
  std::lock_guard<std::mutex> lock(impl_->Mutex);
  return impl_->Ends[E].Mask;
}

void VirtualLine::InjectLineErrors(End E, uint32_t CeBits) {
  std::lock_guard<std::mutex> lock(impl_->Mutex);
  impl_->Ends[E].Errors |= CeBits;
  impl_->Record(E, EV_ERR);
  impl_->Notify(E);
}

void VirtualLine::InjectBreak(End E) {
  std::lock_guard<std::mutex> lock(impl_->Mutex);
  impl_->Ends[E].Errors |= CE_BREAK;
  impl_->Record(E, EV_BREAK);
  impl_->Notify(E);
}

void VirtualLine::RefuseDcb(End E, int Errno) {
  std::lock_guard<std::mutex> lock(impl_->Mutex);
  impl_->Ends[E].RefuseDcb = Errno;
}

void VirtualLine::FailWrites(End E, int Errno) {
  std::lock_guard<std::mutex> lock(impl_->Mutex);
  impl_->Ends[E].FailWrites = Errno;
}

void VirtualLine::HangUp() {
  std::lock_guard<std::mutex> lock(impl_->Mutex);
  impl_->HungUp = true;
  for (End e : {A, B}) {
    impl_->Ends[e].Incoming.Clear();
    impl_->Ends[e].HangUpUnreported = impl_->Ends[e].Open;
    impl_->Notify(e);
  }
  impl_->HungUpEvent.Set();
}

std::unique_ptr<SerialDevice> OpenVirtualLineEnd(const std::string& Path, int& Error) {
  Error = ENOENT;
  const std::string prefix = "vline:";
  const size_t colon = Path.rfind(':');
  if (Path.rfind(prefix, 0) != 0 || colon == std::string::npos || colon < prefix.size() ||
      colon + 2 != Path.size())
    return nullptr;
  const char letter = Path.back();
  if (letter != 'A' && letter != 'B') return nullptr;
  const VirtualLine::End e = letter == 'A' ? VirtualLine::A : VirtualLine::B;
  std::shared_ptr<Impl> line;
  {
    std::lock_guard<std::mutex> lock(registryMutex);
    auto it = Registry().find(Path.substr(prefix.size(), colon - prefix.size()));
    if (it != Registry().end()) line = it->second.lock();
  }
  if (!line) return nullptr;
  std::lock_guard<std::mutex> lock(line->Mutex);
  if (line->Ends[e].Open) {
    Error = EBUSY;
    return nullptr;
  }
  line->OpenEnd(e);
  Error = 0;
  return std::make_unique<VirtualLineDevice>(line, e);
}
