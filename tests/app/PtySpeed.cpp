// SPDX-License-Identifier: GPL-3.0-or-later
// Kept apart: the kernel's termios header cannot meet the C library's.
#include <asm/termbits.h>
#include <sys/ioctl.h>

int PtyOutputSpeed(int MasterFd) {
  struct termios2 t {};
  if (ioctl(MasterFd, TCGETS2, &t) != 0) return -1;
  return static_cast<int>(t.c_ospeed);
}
