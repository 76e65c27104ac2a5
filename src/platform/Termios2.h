// SPDX-License-Identifier: GPL-3.0-or-later
// Line settings through the kernel's termios2, kept behind this small interface because
// <asm/termbits.h> cannot be included together with <termios.h>.
#pragma once

#include <cstdint>

struct LineSettings {
  uint32_t Baud = 9600;  // any rate: set with BOTHER
  int ByteSize = 8;      // 5..8
  int Parity = 0;        // 0 none, 1 odd, 2 even, 3 mark, 4 space
  bool TwoStopBits = false;
  bool RtsCts = false;
  bool XonXoffOut = false;
  bool XonXoffIn = false;
  char XonChar = 17;
  char XoffChar = 19;
  bool ParityCheck = false;
  bool MarkErrors = false;  // bytes with line errors come marked (0xFF 0x00 byte)
};

// Applies Settings in raw mode (no echo, no line editing, no translation, CLOCAL|CREAD,
// VMIN 0, VTIME 0). False with errno set on failure.
bool ApplyLineSettings(int Fd, const LineSettings& Settings);

// What the driver holds, read back with TCGETS2.
struct LineReadBack {
  uint32_t InputRate = 0;
  uint32_t OutputRate = 0;
  int ByteSize = 0;
  bool ParityOn = false;
  bool ParityOdd = false;
  bool MarkSpace = false;
  bool TwoStopBits = false;
  bool RtsCts = false;
  bool XonXoffOut = false;
  bool XonXoffIn = false;
  bool ParityCheck = false;
  bool MarkErrors = false;
  bool LocalAndRead = false;  // CLOCAL and CREAD
  bool Canonical = false;
  bool Echo = false;
  int Vmin = -1;
  int Vtime = -1;
  char XonChar = 0;
  char XoffChar = 0;
};
bool ReadLineSettings(int Fd, LineReadBack& Out);

// True when Fd is a terminal that takes termios2.
bool IsTermios2Device(int Fd);
