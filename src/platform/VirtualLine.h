// SPDX-License-Identifier: GPL-3.0-or-later
// The virtual line: an in-process null-modem pair for deterministic tests and benchmarks.
// RTS of one end is CTS of the other; DTR of one end is DSR and DCD of the other.
// Each end is opened as a device by its path, or driven directly as a scripted peer.
// Opening an end raises its DTR and RTS and closing drops them, as on a real port; the
// device refuses the same control blocks as the POSIX device (EINVAL) and keeps the same
// own input queue (SetupComm size; bytes that do not fit wait on the line and the
// overrun is reported as CE_RXOVER with EV_ERR). It reports EV_TXEMPTY, when asked, once
// a write has fully arrived at the other end.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/SerialDevice.h"

class VirtualLine {
 public:
  enum End { A = 0, B = 1 };

  struct LineChange {
    bool State;
    std::chrono::steady_clock::time_point When;
  };

  // Creates the line and registers it under Name; it is reached as long as the returned
  // pointer (or an open end) lives. Paths: "vline:NAME:A", "vline:NAME:B".
  static std::shared_ptr<VirtualLine> Create(const std::string& Name);
  ~VirtualLine();

  std::string Path(End E) const;

  // Pacing at the baud rate of the last DCB applied to the sending end (10 bits a
  // byte); off by default (bytes cross at once). A paced line holds at most 4096 bytes
  // a direction: a device write takes only what fits and then waits for the line.
  void SetPaced(bool Paced);

  // Scripted peer on end E (normally B, not opened as a device):
  void Send(End E, const void* Data, size_t Count);  // bytes from E to the other end
  void Send(End E, const std::string& Bytes) { Send(E, Bytes.data(), Bytes.size()); }
  // Takes what has arrived at E so far (bytes sent before E was opened as a device wait
  // for it in its input queue; while a device is open at E it takes them, not Take).
  std::string Take(End E);
  // Blocks until at least Count bytes wait at E or TimeoutMs passes; then takes them all.
  std::string TakeAtLeast(End E, size_t Count, int TimeoutMs);
  void SetRts(End E, bool On);  // the other end's CTS
  void SetDtr(End E, bool On);  // the other end's DSR and DCD
  void SetRing(End E, bool On);  // the other end's ring indicator
  bool Rts(End E) const;
  bool Dtr(End E) const;
  std::vector<LineChange> DtrHistory(End E) const;  // every DTR change of end E
  std::vector<LineChange> RtsHistory(End E) const;

  // What the device at E was told.
  DCB LastDcb(End E) const;
  int DcbWrites(End E) const;  // number of successful SetCommState calls
  uint32_t LastMask(End E) const;

  // Faults, on the device opened at end E.
  void InjectLineErrors(End E, uint32_t CeBits);  // reported by the next ClearCommError, with EV_ERR
  void InjectBreak(End E);                        // EV_BREAK and CE_BREAK
  void RefuseDcb(End E, int Errno);               // SetCommState fails (0: accept again)
  void FailWrites(End E, int Errno);              // WriteFile fails (0: write again)
  // Both ends: what is on the line is lost, reads give what was queued and then 0,
  // writes, line changes and blocks fail (EIO), errors carry CE_IOE, and each open end's
  // wait reports EV_ERR once and then blocks on its stop event alone.
  void HangUp();

  struct Impl;

 private:
  explicit VirtualLine(std::shared_ptr<Impl> I) : impl_(std::move(I)) {}
  std::shared_ptr<Impl> impl_;
};

// Used by OpenSerialDevice for "vline:" paths.
std::unique_ptr<SerialDevice> OpenVirtualLineEnd(const std::string& Path, int& Error);
