// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DcbRules.h"

#include <cerrno>

int CheckDcb(const DCB& Dcb) {
  if (Dcb.BaudRate == 0 || Dcb.BaudRate > MaxBaudRate) return EINVAL;
  if (Dcb.ByteSize < 5 || Dcb.ByteSize > 8) return EINVAL;
  if (Dcb.Parity > 4) return EINVAL;
  if (Dcb.StopBits != 0 && Dcb.StopBits != 2) return EINVAL;  // one and a half: no
  // No DSR flow control, no DSR sensitivity, no transmit-on-XOFF switch, no DTR
  // handshake and no RTS toggle in the Linux serial drivers.
  const uint32_t unavailable = DCB_fOutxDsrFlow | DCB_fDsrSensitivity | DCB_fTXContinueOnXoff;
  if (Dcb.Flags & unavailable) return EINVAL;
  if (DtrControlOf(Dcb) == DtrHandshake) return EINVAL;
  if (RtsControlOf(Dcb) == RtsToggle) return EINVAL;
  return 0;
}
