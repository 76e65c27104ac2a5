// SPDX-License-Identifier: GPL-3.0-or-later
// A line that pushes back, on pseudo-terminals: the near end (NearPath, where the port
// under test opens) and the far end (FarPath, for a peer such as rx or a second port) are
// two pseudo-terminals joined by a relay. The relay paces each direction at a byte rate and
// reads from its source only as its line drains, holding at most 4096 bytes a direction,
// so a writer feels the line's rate once its pseudo-terminal is full, as on a UART.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/WaitEvent.h"
#include "support/PtyPair.h"

class PacedLine {
 public:
  enum Direction { NearToFar = 0, FarToNear = 1 };

  // Told, on the relay's thread, of each piece of bytes just handed on to the far side of
  // its direction, so that a benchmark can time the exchange as it crosses the line.
  using Observer = std::function<void(Direction D, const char* Data, size_t Count)>;

  // BytesPerSecond 0: not paced, the relay passes bytes on as fast as the ends take them.
  explicit PacedLine(double BytesPerSecond, Observer Passed = {});
  ~PacedLine();
  PacedLine(const PacedLine&) = delete;
  PacedLine& operator=(const PacedLine&) = delete;

  const std::string& NearPath() const { return near_.SlavePath; }
  const std::string& FarPath() const { return far_.SlavePath; }

  // Holds a direction completely, as CTS low or XOFF would; false lets it go again.
  void Hold(Direction D, bool On);
  // Hangs the near end up, as an unplugged adapter does.
  void HangUpNear();

  // The far end played by the test (when no peer opens FarPath).
  void SendFromFar(const std::string& Bytes);
  std::string ReceiveAtFar(size_t Count, int TimeoutMs = 5000);

  static constexpr size_t Holds = 4096;

 private:
  struct Way;
  void Relay();

  PtyPair near_, far_;
  const double rate_;
  const Observer passed_;
  std::mutex mutex_;
  bool held_[2] = {false, false};
  bool nearGone_ = false;
  std::atomic<bool> stop_{false};
  WaitEvent wake_;
  std::thread relay_;
};
