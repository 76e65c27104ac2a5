// SPDX-License-Identifier: GPL-3.0-or-later
// A byte queue in one block of fixed capacity used as a ring, so that the bytes leaving at
// the front never move the ones behind them: a port's write queue, a transfer's receive
// queue.
#pragma once

#include <cstdint>
#include <memory>

class ByteRing {
 public:
  explicit ByteRing(int Capacity)
      : data_(std::make_unique<uint8_t[]>(static_cast<size_t>(Capacity))), capacity_(Capacity) {}

  int Size() const { return size_; }
  int Capacity() const { return capacity_; }
  // Callers keep Size() + Count within the capacity.
  void Append(const void* Src, int Count);
  // The oldest bytes that lie in one piece, at most Limit of them.
  struct Piece {
    const uint8_t* Data;
    int Count;
  };
  Piece Front(int Limit) const;
  // Removes the Count oldest bytes (Count within Size()).
  void Drop(int Count);
  // Copies the Count oldest bytes to Dest and removes them (Count within Size()).
  void Take(void* Dest, int Count);
  uint8_t First() const { return data_[static_cast<size_t>(head_)]; }
  void Clear() { head_ = size_ = 0; }

 private:
  std::unique_ptr<uint8_t[]> data_;
  const int capacity_;
  int head_ = 0;
  int size_ = 0;
};
