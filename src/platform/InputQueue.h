// SPDX-License-Identifier: GPL-3.0-or-later
// The device's own input queue, of the size SetupComm gives it, as a Win32 serial driver
// keeps one: received bytes land here once, so each arrival raises its events once, and
// the receive rules of the control block (NUL stripping, error character, event
// character) apply as bytes are stored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class InputQueue {
 public:
  static constexpr size_t DefaultCapacity = 4096;
  static constexpr size_t MaxCapacity = 64u << 20;

  InputQueue();

  // Bytes already queued are kept as far as they fit. False (ENOMEM) above MaxCapacity.
  bool SetCapacity(size_t Capacity);
  size_t Capacity() const { return buffer_.size(); }
  size_t Size() const { return size_; }
  size_t Room() const { return buffer_.size() - size_; }

  void SetRules(bool StripNul, bool ReplaceErrors, char ErrorChar, char EventChar);

  // Stores up to Room() bytes; returns the EV_ bits the arrival raises (EV_RXCHAR,
  // EV_RXFLAG, EV_RX80FULL).
  uint32_t Store(const uint8_t* Data, size_t Count);
  // One byte, received with a parity or framing error when LineError is set.
  uint32_t StoreOne(uint8_t Byte, bool LineError);

  size_t Take(void* Dest, size_t Count);
  void Clear();

  // True the first time the queue is found full while more bytes wait for it since the
  // last read made room: that is when a receive overrun is reported.
  bool NoteOverrun();

 private:
  uint32_t Put(uint8_t Byte);
  size_t Threshold80() const;

  std::vector<uint8_t> buffer_;
  size_t head_ = 0;
  size_t size_ = 0;
  bool stripNul_ = false;
  bool replaceErrors_ = false;
  uint8_t errorChar_ = 0;
  uint8_t eventChar_ = 0;
  bool overrunNoted_ = false;
};
