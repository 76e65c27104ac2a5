// SPDX-License-Identifier: GPL-3.0-or-later
// Re-entrant critical section.
#pragma once

#include <mutex>

class CriticalSection {
 public:
  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }
  // BasicLockable, for std::lock_guard.
  void lock() { Enter(); }
  void unlock() { Leave(); }

 private:
  std::recursive_mutex mutex_;
};
