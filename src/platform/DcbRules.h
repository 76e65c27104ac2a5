// SPDX-License-Identifier: GPL-3.0-or-later
// What a device control block may ask of a Linux serial device; shared by the POSIX
// device and the virtual line, so that both refuse the same blocks.
#pragma once

#include <cstdint>

#include "platform/SerialDevice.h"

constexpr uint32_t MaxBaudRate = 5000000;

enum DtrControl { DtrDisable = 0, DtrEnable = 1, DtrHandshake = 2 };
enum RtsControl { RtsDisable = 0, RtsEnable = 1, RtsHandshake = 2, RtsToggle = 3 };

inline int DtrControlOf(const DCB& Dcb) {
  return (Dcb.Flags & DCB_fDtrControlMask) >> DCB_fDtrControlShift;
}
inline int RtsControlOf(const DCB& Dcb) {
  return (Dcb.Flags & DCB_fRtsControlMask) >> DCB_fRtsControlShift;
}

// 0 when Linux can do what Dcb asks, else EINVAL.
int CheckDcb(const DCB& Dcb);
