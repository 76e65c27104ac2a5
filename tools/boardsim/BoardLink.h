// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's side of the line: a pseudo-terminal master, a serial device opened by
// path, or the far end of a virtual line.
#pragma once

#include <memory>
#include <string>

#include "platform/VirtualLine.h"

class BoardLink {
 public:
  virtual ~BoardLink() = default;
  // Waits up to TimeoutMs for bytes; returns what arrived (empty on timeout). Throws
  // std::runtime_error when the line is gone.
  virtual std::string Receive(int TimeoutMs) = 0;
  virtual void Send(const std::string& Bytes) = 0;
  // The board's RTS, which is Tarvik's CTS. False when the link cannot drive it.
  virtual bool SetClearToSend(bool On) = 0;

  // A new pseudo-terminal pair; the simulator keeps the master. SlavePath tells Tarvik's side.
  static std::unique_ptr<BoardLink> NewPty(std::string& SlavePath);
  // The master of a pair made by someone else (the link takes the descriptor).
  static std::unique_ptr<BoardLink> FromPtyMaster(int MasterFd);
  // A serial device (or a socat pty) by path, in raw mode.
  static std::unique_ptr<BoardLink> OpenDevice(const std::string& Path);
  // End B of a virtual line, whose end A Tarvik opens.
  static std::unique_ptr<BoardLink> OnVirtualLine(std::shared_ptr<VirtualLine> Line);
};

// "COM1000+N" for /dev/pts/N, else the path itself: what to type into the port box.
std::string PortNameForPath(const std::string& Path);
