// SPDX-License-Identifier: GPL-3.0-or-later
// The one file that sees <asm/termbits.h>.
#include "platform/Termios2.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace {

tcflag_t SizeFlag(int ByteSize) {
  switch (ByteSize) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
  }
}

tcflag_t ParityFlags(int Parity) {
  switch (Parity) {
    case 1: return PARENB | PARODD;
    case 2: return PARENB;
    case 3: return PARENB | CMSPAR | PARODD;
    case 4: return PARENB | CMSPAR;
    default: return 0;
  }
}

void MakeRaw(termios2& T) {
  T.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                 IXANY | INPCK | IGNPAR | IUCLC | IMAXBEL);
  T.c_oflag &= ~OPOST;
  T.c_lflag &= ~(ECHO | ECHONL | ECHOE | ECHOK | ICANON | ISIG | IEXTEN);
  T.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
  T.c_cflag |= CLOCAL | CREAD;
  T.c_cc[VMIN] = 0;
  T.c_cc[VTIME] = 0;
}

}  // namespace

bool ApplyLineSettings(int Fd, const LineSettings& S) {
  termios2 t{};
  if (ioctl(Fd, TCGETS2, &t) != 0) return false;
  MakeRaw(t);
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT) | SizeFlag(S.ByteSize) | ParityFlags(S.Parity);
  t.c_ispeed = t.c_ospeed = S.Baud;
  if (S.TwoStopBits) t.c_cflag |= CSTOPB;
  if (S.RtsCts) t.c_cflag |= CRTSCTS;
  if (S.XonXoffOut) t.c_iflag |= IXON;
  if (S.XonXoffIn) t.c_iflag |= IXOFF;
  if (S.ParityCheck) t.c_iflag |= INPCK;
  if (S.MarkErrors) t.c_iflag |= PARMRK;
  t.c_cc[VSTART] = static_cast<cc_t>(S.XonChar);
  t.c_cc[VSTOP] = static_cast<cc_t>(S.XoffChar);
  return ioctl(Fd, TCSETS2, &t) == 0;
}

bool ReadLineSettings(int Fd, LineReadBack& Out) {
  termios2 t{};
  if (ioctl(Fd, TCGETS2, &t) != 0) return false;
  Out.InputRate = t.c_ispeed;
  Out.OutputRate = t.c_ospeed;
  switch (t.c_cflag & CSIZE) {
    case CS5: Out.ByteSize = 5; break;
    case CS6: Out.ByteSize = 6; break;
    case CS7: Out.ByteSize = 7; break;
    default: Out.ByteSize = 8; break;
  }
  Out.ParityOn = t.c_cflag & PARENB;
  Out.ParityOdd = t.c_cflag & PARODD;
  Out.MarkSpace = t.c_cflag & CMSPAR;
  Out.TwoStopBits = t.c_cflag & CSTOPB;
  Out.RtsCts = t.c_cflag & CRTSCTS;
  Out.XonXoffOut = t.c_iflag & IXON;
  Out.XonXoffIn = t.c_iflag & IXOFF;
  Out.ParityCheck = t.c_iflag & INPCK;
  Out.MarkErrors = t.c_iflag & PARMRK;
  Out.LocalAndRead = (t.c_cflag & (CLOCAL | CREAD)) == (CLOCAL | CREAD);
  Out.Canonical = t.c_lflag & ICANON;
  Out.Echo = t.c_lflag & ECHO;
  Out.Vmin = t.c_cc[VMIN];
  Out.Vtime = t.c_cc[VTIME];
  Out.XonChar = static_cast<char>(t.c_cc[VSTART]);
  Out.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
  return true;
}

bool IsTermios2Device(int Fd) {
  termios2 t{};
  return ioctl(Fd, TCGETS2, &t) == 0;
}
