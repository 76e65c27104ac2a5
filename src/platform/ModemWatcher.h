// SPDX-License-Identifier: GPL-3.0-or-later
// Waits for modem-line changes of a serial tty in a thread of its own: TIOCMIWAIT blocks
// and cannot be polled, and looking every few milliseconds would keep an idle port awake.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class ModemWatcher {
 public:
  // Changed runs on the watcher's thread after each change of CTS, DSR, DCD or RI. A
  // device without the wait (a pseudo-terminal) ends the watch at once.
  ModemWatcher(int Fd, std::function<void()> Changed);
  // Ends the wait and the thread.
  ~ModemWatcher();
  ModemWatcher(const ModemWatcher&) = delete;
  ModemWatcher& operator=(const ModemWatcher&) = delete;

 private:
  void Watch();

  const int fd_;
  const std::function<void()> changed_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false;
  std::thread thread_;
};
