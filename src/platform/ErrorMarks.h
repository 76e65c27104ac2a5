// SPDX-License-Identifier: GPL-3.0-or-later
// Undoes the kernel's marking of received bytes (PARMRK): a byte that came with a parity
// or framing error arrives as 0xFF 0x00 byte, a real 0xFF as 0xFF 0xFF. Sequences may be
// split across reads.
#pragma once

#include <cstdint>

class ErrorMarkParser {
 public:
  void Reset() { state_ = Plain; }
  // Feeds one byte; calls Out(byte, lineError) for each byte it completes.
  template <typename F>
  void Feed(uint8_t Byte, F&& Out) {
    switch (state_) {
      case Plain:
        if (Byte == 0xFF)
          state_ = Escape;
        else
          Out(Byte, false);
        break;
      case Escape:
        state_ = Plain;
        if (Byte == 0x00) {
          state_ = Marked;
        } else if (Byte == 0xFF) {
          Out(0xFF, false);
        } else {  // not a mark after all
          Out(0xFF, false);
          Out(Byte, false);
        }
        break;
      case Marked:
        state_ = Plain;
        Out(Byte, true);
        break;
    }
  }

 private:
  enum State { Plain, Escape, Marked };
  State state_ = Plain;
};
