#include "serial/WriteQueue.h"

#include <algorithm>
#include <cstring>

void WriteQueue::Append(const void* Src, int Count) {
  const auto* bytes = static_cast<const uint8_t*>(Src);
  int tail = (head_ + size_) % capacity_;
  while (Count > 0) {
    const int n = std::min(Count, capacity_ - tail);
    std::memcpy(data_.get() + tail, bytes, static_cast<size_t>(n));
    bytes += n;
    Count -= n;
    size_ += n;
    tail = 0;
  }
}

WriteQueue::Piece WriteQueue::Front(int Limit) const {
  return {data_.get() + head_, std::min({Limit, size_, capacity_ - head_})};
}

void WriteQueue::Drop(int Count) {
  size_ -= Count;
  head_ = size_ == 0 ? 0 : (head_ + Count) % capacity_;
}
