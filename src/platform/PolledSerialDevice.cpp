// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PolledSerialDevice.h"

#include <cerrno>

bool PolledSerialDevice::SetupComm(uint32_t InQueue, uint32_t) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!queue_.SetCapacity(InQueue)) return Fail(ENOMEM);
  wake_.Set();  // the room may have changed
  return true;
}

bool PolledSerialDevice::SetCommMask(uint32_t Mask) {
  std::lock_guard<std::mutex> lock(mutex_);
  mask_ = Mask;
  pending_ = 0;
  ++maskGeneration_;  // a pending wait ends with no events, as on Win32
  MaskChangedLocked();
  wake_.Set();
  return true;
}

void PolledSerialDevice::MarkHungUpLocked() {
  if (hungUp_) return;
  hungUp_ = true;
  hangUpUnreported_ = true;
  HungUpLocked();
  wake_.Set();
}

void PolledSerialDevice::NoteWrittenLocked(int Written) {
  if (Written > 0 && (mask_ & EV_TXEMPTY)) {
    txPending_ = true;
    wake_.Set();
  }
}

uint32_t PolledSerialDevice::TakeReadyLocked() {
  uint32_t ready = pending_ & mask_;
  pending_ &= ~ready;
  if (hangUpUnreported_) {
    hangUpUnreported_ = false;
    ready |= EV_ERR;
  }
  if (txPending_ && OutputQueuedLocked() == 0) {
    txPending_ = false;
    ready |= EV_TXEMPTY & mask_;
  }
  return ready;
}

bool PolledSerialDevice::WaitCommEvent(uint32_t& Events, const WaitEvent& Stop) {
  Events = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  const uint64_t generation = maskGeneration_;
  for (;;) {
    if (generation != maskGeneration_) return true;
    if ((Events = TakeReadyLocked()) != 0) return true;
    wake_.Reset();
    pollfd fds[3] = {{Stop.Fd(), POLLIN, 0}, {wake_.Fd(), POLLIN, 0}, {fd_, 0, 0}};
    nfds_t count = 2;
    if (!hungUp_)
      if (const std::optional<short> watched = WatchedLocked()) {
        fds[2].events = *watched;
        count = 3;
      }
    // No event tells when a direct write has left the device: look again when it should have.
    const int timeout = txPending_ ? LineTimeMs(OutputQueuedLocked(), baud_) : -1;
    lock.unlock();
    const int r = poll(fds, count, timeout);
    const int error = errno;
    lock.lock();
    if (r < 0) {
      if (error == EINTR) continue;
      return Fail(error);
    }
    if (fds[0].revents & POLLIN) return true;
    if (count > 2) DescriptorReadyLocked(fds[2].revents);
  }
}

bool PolledSerialDevice::ClearCommError(uint32_t& Errors, COMSTAT& Stat) {
  std::lock_guard<std::mutex> lock(mutex_);
  FillLocked();
  Errors = ownErrors_ | CountedErrorsLocked() | (hungUp_ ? CE_IOE : 0);
  ownErrors_ = 0;
  Stat = COMSTAT{};
  Stat.cbInQue = static_cast<uint32_t>(queue_.Size());
  Stat.cbOutQue = static_cast<uint32_t>(OutputQueuedLocked());
  return true;
}

void PolledSerialDevice::RepeatRxChar() {
  std::lock_guard<std::mutex> lock(mutex_);
  FillLocked();
  if (queue_.Size() == 0) return;
  Record(EV_RXCHAR);
  wake_.Set();
}

std::vector<pollfd> PolledSerialDevice::WritePollSet(pollfd Awaited,
                                                     std::initializer_list<const WaitEvent*> Cancel) {
  std::vector<pollfd> fds{Awaited};
  for (const WaitEvent* e : Cancel) fds.push_back({e->Fd(), POLLIN, 0});
  return fds;
}

bool PolledSerialDevice::Cancelled(const std::vector<pollfd>& Fds, int& CancelledBy) {
  for (size_t i = 1; i < Fds.size(); ++i)
    if (Fds[i].revents & POLLIN) {
      CancelledBy = static_cast<int>(i - 1);
      return true;
    }
  return false;
}
