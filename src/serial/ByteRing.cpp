// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/ByteRing.h"

#include <algorithm>
#include <cstring>

void ByteRing::Append(const void* Src, int Count) {
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

ByteRing::Piece ByteRing::Front(int Limit) const {
  return {data_.get() + head_, std::min({Limit, size_, capacity_ - head_})};
}

void ByteRing::Take(void* Dest, int Count) {
  auto* bytes = static_cast<uint8_t*>(Dest);
  while (Count > 0) {
    const Piece piece = Front(Count);
    std::memcpy(bytes, piece.Data, static_cast<size_t>(piece.Count));
    Drop(piece.Count);
    bytes += piece.Count;
    Count -= piece.Count;
  }
}

void ByteRing::Drop(int Count) {
  size_ -= Count;
  head_ = size_ == 0 ? 0 : (head_ + Count) % capacity_;
}
