// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/InputQueue.h"

#include <algorithm>
#include <cstring>

#include "platform/SerialDevice.h"

InputQueue::InputQueue() : buffer_(DefaultCapacity) {}

bool InputQueue::SetCapacity(size_t Capacity) {
  if (Capacity > MaxCapacity) return false;
  if (Capacity == 0) Capacity = 1;
  std::vector<uint8_t> next(Capacity);
  const size_t keep = std::min(size_, Capacity);
  Take(next.data(), keep);
  buffer_.swap(next);
  head_ = 0;
  size_ = keep;
  return true;
}

void InputQueue::SetRules(bool StripNul, bool ReplaceErrors, char ErrorChar, char EventChar) {
  stripNul_ = StripNul;
  replaceErrors_ = ReplaceErrors;
  errorChar_ = static_cast<uint8_t>(ErrorChar);
  eventChar_ = static_cast<uint8_t>(EventChar);
}

size_t InputQueue::Threshold80() const { return std::max<size_t>(1, buffer_.size() * 8 / 10); }

uint32_t InputQueue::Put(uint8_t Byte) {
  if (stripNul_ && Byte == 0) return 0;
  if (size_ == buffer_.size()) return 0;
  buffer_[(head_ + size_) % buffer_.size()] = Byte;
  ++size_;
  uint32_t events = EV_RXCHAR;
  if (Byte == eventChar_) events |= EV_RXFLAG;
  if (size_ == Threshold80()) events |= EV_RX80FULL;
  return events;
}

uint32_t InputQueue::Store(const uint8_t* Data, size_t Count) {
  if (stripNul_) {
    uint32_t events = 0;
    for (size_t i = 0; i < Count && size_ < buffer_.size(); ++i) events |= Put(Data[i]);
    return events;
  }
  // Without NUL stripping every byte is kept as it came: copied in at most two runs.
  const size_t n = std::min(Count, Room());
  if (n == 0) return 0;
  const size_t before = size_;
  size_t tail = (head_ + size_) % buffer_.size();
  for (size_t done = 0; done < n;) {
    const size_t run = std::min(n - done, buffer_.size() - tail);
    std::memcpy(buffer_.data() + tail, Data + done, run);
    done += run;
    tail = 0;
  }
  size_ += n;
  uint32_t events = EV_RXCHAR;
  if (std::memchr(Data, eventChar_, n)) events |= EV_RXFLAG;
  if (before < Threshold80() && size_ >= Threshold80()) events |= EV_RX80FULL;
  return events;
}

uint32_t InputQueue::StoreOne(uint8_t Byte, bool LineError) {
  if (LineError && replaceErrors_) Byte = errorChar_;
  return Put(Byte);
}

size_t InputQueue::Take(void* Dest, size_t Count) {
  const size_t n = std::min(Count, size_);
  auto* out = static_cast<uint8_t*>(Dest);
  size_t done = 0;
  while (done < n) {
    const size_t run = std::min(n - done, buffer_.size() - head_);
    std::memcpy(out + done, buffer_.data() + head_, run);
    head_ = (head_ + run) % buffer_.size();
    done += run;
  }
  size_ -= n;
  if (size_ == 0) head_ = 0;
  if (n > 0) overrunNoted_ = false;
  return n;
}

void InputQueue::Clear() {
  head_ = size_ = 0;
  overrunNoted_ = false;
}

bool InputQueue::NoteOverrun() {
  if (overrunNoted_ || Room() > 0) return false;
  overrunNoted_ = true;
  return true;
}
