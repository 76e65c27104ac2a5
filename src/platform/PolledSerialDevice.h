// SPDX-License-Identifier: GPL-3.0-or-later
// What a serial device over one descriptor (a tty, a socket) keeps the same way whatever
// the descriptor is: the input queue the descriptor fills, the event mask and its wait
// (a poll on the stop event, a wake event and the descriptor), the hang-up told once, and
// the transmitter-empty report that follows a direct write.
#pragma once

#include <poll.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/InputQueue.h"
#include "platform/SerialDevice.h"
#include "platform/WaitEvent.h"

class PolledSerialDevice : public SerialDevice {
 public:
  explicit PolledSerialDevice(int Fd) : fd_(Fd) {}

  bool SetupComm(uint32_t InQueue, uint32_t OutQueue) override;
  // Reads always return at once with what is queued; nothing to tell the device.
  bool SetCommTimeouts(const COMMTIMEOUTS&) override { return true; }
  bool SetCommMask(uint32_t Mask) override;
  bool WaitCommEvent(uint32_t& Events, const WaitEvent& Stop) override;
  bool ClearCommError(uint32_t& Errors, COMSTAT& Stat) override;
  bool HungUp() const override { return hungUp_; }
  void RepeatRxChar() override;

 protected:
  bool Fail(int Error) const {
    SetLastError(Error);
    return false;
  }
  void Record(uint32_t Events) { pending_ |= Events & mask_; }
  // Told once, whatever the mask: the owner must learn that the line is gone.
  void MarkHungUpLocked();
  // After a direct write: EV_TXEMPTY, when asked for, follows once the bytes have left.
  void NoteWrittenLocked(int Written);

  // The poll set of a write wait: what it waits for, then each of Cancel.
  static std::vector<pollfd> WritePollSet(pollfd Awaited, std::initializer_list<const WaitEvent*> Cancel);
  // Whether the poll of a write wait found one of its cancel events set (CancelledBy gets
  // its index).
  static bool Cancelled(const std::vector<pollfd>& Fds, int& CancelledBy);

  // Moves what the descriptor holds into the queue, as far as it has room.
  virtual void FillLocked() = 0;
  virtual int OutputQueuedLocked() = 0;
  // What the event wait polls the live descriptor for; none: it is left alone.
  virtual std::optional<short> WatchedLocked() = 0;
  // What that poll found on it.
  virtual void DescriptorReadyLocked(short Got) = 0;
  // Line errors (CE_) counted below the device since the last report.
  virtual uint32_t CountedErrorsLocked() { return 0; }
  virtual void MaskChangedLocked() {}
  virtual void HungUpLocked() {}

  const int fd_;
  std::mutex mutex_;
  InputQueue queue_;
  uint32_t mask_ = 0;
  uint32_t pending_ = 0;
  uint32_t ownErrors_ = 0;
  std::atomic<bool> hungUp_{false};
  std::atomic<uint32_t> baud_{0};
  WaitEvent wake_;  // ends a pending event wait to look again

 private:
  uint32_t TakeReadyLocked();

  uint64_t maskGeneration_ = 0;
  bool hangUpUnreported_ = false;
  bool txPending_ = false;  // a direct write has not been seen leaving the device yet
};
